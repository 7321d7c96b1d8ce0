#include "d_sim_pty_server.h"

#include "d_sim_wrench.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

QString systemError(const char* what) {
    return QString("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

DSimPtyServer::DSimPtyServer(DSimWrench* wrench, QObject* parent)
    : QObject(parent)
    , m_wrench(wrench) {
    connect(wrench, &DSimWrench::output, this, &DSimPtyServer::onOutput);
}

DSimPtyServer::~DSimPtyServer() {
    delete m_readNotifier;
    delete m_writeNotifier;
    if (m_slave >= 0) {
        ::close(m_slave);
    }
    if (m_master >= 0) {
        ::close(m_master);
    }
}

bool DSimPtyServer::open(QString* error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof(name)) != 0) {
        *error = systemError("grantpt, unlockpt or ptsname");
        return false;
    }
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings;
    if (m_slave < 0 || ::tcgetattr(m_slave, &settings) != 0) {
        *error = systemError(name);
        return false;
    }
    // No echo and no CR/LF translation: the bytes pass unchanged both ways.
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_slave, TCSANOW, &settings) != 0) {
        *error = systemError("tcsetattr");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &DSimPtyServer::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &DSimPtyServer::writePending);
    writePending();
    return true;
}

QString DSimPtyServer::slavePath() const {
    return m_slavePath;
}

void DSimPtyServer::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t size = ::read(m_master, buffer, sizeof(buffer));
        if (size > 0) {
            m_wrench->receive(QByteArray(buffer, int(size)));
            continue;
        }
        if (size < 0 && errno == EINTR) {
            continue;
        }
        if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        fail("read");
        return;
    }
}

void DSimPtyServer::onOutput(const QByteArray& bytes) {
    m_pending.append(bytes);
    if (m_pending.size() - m_pendingOffset >= maxPendingBytes) {
        m_wrench->setOutputPaused(true);
    }
    writePending();
}

// Non-blocking: what the terminal does not take now waits for the write
// notifier.
void DSimPtyServer::writePending() {
    if (m_master < 0 || !m_writeNotifier) {
        return;
    }
    while (m_pendingOffset < m_pending.size()) {
        const ssize_t size = ::write(m_master, m_pending.constData() + m_pendingOffset,
                                     size_t(m_pending.size() - m_pendingOffset));
        if (size > 0) {
            m_pendingOffset += int(size);
            continue;
        }
        if (size < 0 && errno == EINTR) {
            continue;
        }
        if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        fail("write");
        return;
    }
    const int left = m_pending.size() - m_pendingOffset;
    if (left == 0) {
        m_pending.clear();
        m_pendingOffset = 0;
    } else if (m_pendingOffset >= maxPendingBytes) {
        m_pending.remove(0, m_pendingOffset);
        m_pendingOffset = 0;
    }
    m_writeNotifier->setEnabled(left > 0);
    if (left < maxPendingBytes / 2 && m_wrench->isOutputPaused()) {
        m_wrench->setOutputPaused(false);
    }
}

void DSimPtyServer::fail(const char* what) {
    const QString reason = systemError(what);
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    emit failed(reason);
}
