#include "d_result_outputs.h"

#include "d_host_console.h"
#include "d_host_options.h"
#include "d_result_forwarder.h"
#include "d_result_store.h"

DResultOutputs::DResultOutputs() = default;

DResultOutputs::~DResultOutputs() = default;

// Without --store and --mqtt, a store in memory still remembers the
// tightenings of this run, so that one delivered twice is printed once.
bool DResultOutputs::open(const DHostOptions& options, const QString& statusSerial,
                          QString* error) {
    m_store = std::make_unique<DResultStore>();
    if (!options.storePath.isEmpty() ? !m_store->open(options.storePath, error)
                                     : !m_store->openInMemory(error)) {
        m_store.reset();
        return false;
    }
    if (options.hasMqtt) {
        if (options.storePath.isEmpty()) {
            DHostConsole::message(QStringLiteral(
                "mqtt: without --store, results wait for the broker in memory only"));
        }
        m_forwarder = std::make_unique<DResultForwarder>(m_store.get(), options.mqtt, statusSerial,
                                                         options.quiet);
        m_forwarder->start();
    }
    return true;
}

DResultSink* DResultOutputs::sink() const {
    if (m_forwarder) {
        return m_forwarder.get();
    }
    return m_store.get();
}

bool DResultOutputs::finish() {
    if (!m_forwarder) {
        return true;
    }
    const int left = m_forwarder->waitUntilSent(sendOnExitLimitMs);
    if (left == 0) {
        return !m_forwarder->loginRefused();
    }
    if (left < 0) {
        DHostConsole::message(
            QStringLiteral("mqtt: cannot tell which results stay queued in %1")
                .arg(m_store->isInMemory() ? QStringLiteral("memory") : m_store->path()));
        return false;
    }
    const QString count = DResultForwarder::resultCount(left);
    if (m_store->isInMemory()) {
        DHostConsole::message(
            QStringLiteral("mqtt: the broker did not acknowledge %1; without "
                           "--store, nothing keeps %2 after this run")
                .arg(count, left == 1 ? QStringLiteral("it") : QStringLiteral("them")));
        return false;
    }
    DHostConsole::message(QStringLiteral("mqtt: %1 stay queued in %2; the next run with this "
                                         "--store and --mqtt sends them")
                              .arg(count, m_store->path()));
    return !m_forwarder->loginRefused();
}
