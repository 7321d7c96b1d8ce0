#include "d_fuzz_environment.h"

#include "d_chunked_run.h"

#include <QCoreApplication>
#include <QVariantMap>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The plug-in logs a reply without frame and a line that does not parse; the
// fuzzer makes millions of them.
void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

bool isWellFormedEventData(const QVariant& value) {
    const QVariantMap data = value.toMap();
    if (data.size() != 14 && data.size() != 15) {
        return false;
    }
    for (const QVariant& entry : data) {
        if (entry.type() == QVariant::Double && !std::isfinite(entry.toDouble())) {
            return false;
        }
    }
    return true;
}

// A command that records its outcome as a pair ("doneOk" or "cmd_success",
// and "failed") never leaves both true or both false.
void checkOutcomePair(const DChunkedRun::Published& published) {
    QVariantMap last;
    for (const auto& update : published.updates) {
        last.insert(update.first, update.second);
    }
    const QVariant success =
        last.contains("doneOk") ? last.value("doneOk") : last.value("cmd_success");
    if (success.isValid() && last.contains("failed")) {
        DFuzzEnvironment::check(success.toBool() != last.value("failed").toBool(),
                                "outcome pair disagrees");
    }
}

} // namespace

void DFuzzEnvironment::ensureApplication() {
    if (QCoreApplication::instance()) {
        return;
    }
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    qInstallMessageHandler(quietMessages);
}

void DFuzzEnvironment::check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

int DFuzzEnvironment::feedCommand(const QString& commandName, const uint8_t* data, size_t size) {
    ensureApplication();
    const QByteArray input(reinterpret_cast<const char*>(data), int(qMin<size_t>(size, 1 << 16)));
    const DChunkedRun::Published published =
        DChunkedRun::run(commandName, DChunkedRun::repliesFromInput(input));
    check(!published.leftStanding, "an instruction outlived its run");
    for (const auto& update : published.updates) {
        if (update.first == QLatin1String("eventData")) {
            check(isWellFormedEventData(update.second), "malformed eventData");
        }
    }
    checkOutcomePair(published);
    for (const QString& instruction : published.instructions) {
        if (instruction.startsWith(QLatin1String("write "))) {
            check(instruction.startsWith(QLatin1String("write W1")) &&
                      instruction.endsWith(QLatin1String("\\x0d")),
                  "a frame without serial prefix or CR");
        }
    }
    return 0;
}
