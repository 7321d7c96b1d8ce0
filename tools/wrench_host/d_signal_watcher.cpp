#include "d_signal_watcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

namespace {

int selfPipe[2] = {-1, -1};

void setHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

DSignalWatcher::DSignalWatcher(QObject* parent)
    : QObject(parent) {
    if (selfPipe[0] >= 0 || ::pipe2(selfPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(selfPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DSignalWatcher::onReadable);
    setHandler(SIGINT, &DSignalWatcher::onSignal);
    setHandler(SIGTERM, &DSignalWatcher::onSignal);
}

DSignalWatcher::~DSignalWatcher() {
    if (!m_notifier) {
        return;
    }
    setHandler(SIGINT, SIG_DFL);
    setHandler(SIGTERM, SIG_DFL);
    delete m_notifier;
    ::close(selfPipe[0]);
    ::close(selfPipe[1]);
    selfPipe[0] = selfPipe[1] = -1;
}

bool DSignalWatcher::isWatching() const {
    return m_notifier != nullptr;
}

bool DSignalWatcher::wasRequested() const {
    return m_requested;
}

// Only async-signal-safe calls here.
void DSignalWatcher::onSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    if (::write(selfPipe[1], &byte, 1) < 0) {
        // Nothing to be done from inside a signal handler.
    }
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    errno = savedErrno;
}

void DSignalWatcher::onReadable() {
    char bytes[16];
    while (::read(selfPipe[0], bytes, sizeof bytes) > 0) {
    }
    m_requested = true;
    emit sigTerminationRequested();
}
