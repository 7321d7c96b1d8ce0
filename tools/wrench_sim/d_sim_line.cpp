#include "d_sim_line.h"

#include "d_sim_wrench.h"

#include <cstring>

DSimLine::DSimLine(DSimWrench* wrench, QObject* parent)
    : QIODevice(parent)
    , m_wrench(wrench) {
    if (wrench) {
        connect(wrench, &DSimWrench::output, this, &DSimLine::onOutput);
    }
}

bool DSimLine::isSequential() const {
    return true;
}

qint64 DSimLine::bytesAvailable() const {
    return m_readBuffer.size() + QIODevice::bytesAvailable();
}

void DSimLine::close() {
    QIODevice::close();
    m_readBuffer.clear();
    holdWrench(false);
}

qint64 DSimLine::readData(char* data, qint64 maxSize) {
    const qint64 size = qMin(maxSize, qint64(m_readBuffer.size()));
    if (size <= 0) {
        return 0;
    }
    std::memcpy(data, m_readBuffer.constData(), size_t(size));
    m_readBuffer.remove(0, int(size));
    if (m_readBuffer.size() < maxUnreadBytes / 2) {
        holdWrench(false);
    }
    return size;
}

qint64 DSimLine::writeData(const char* data, qint64 size) {
    if (!m_wrench) {
        setErrorString(tr("The wrench is gone"));
        return -1;
    }
    // QByteArray holds at most 2 GiB; a larger write is taken in parts.
    const int accepted = int(qMin(size, qint64(1) << 30));
    m_wrench->receive(QByteArray(data, accepted));
    return accepted;
}

void DSimLine::onOutput(const QByteArray& bytes) {
    if (!isOpen() || !(openMode() & QIODevice::ReadOnly)) {
        return;
    }
    m_readBuffer.append(bytes);
    if (m_readBuffer.size() >= maxUnreadBytes) {
        holdWrench(true);
    }
    emit readyRead();
}

void DSimLine::holdWrench(bool hold) {
    if (m_holding == hold || !m_wrench) {
        return;
    }
    m_holding = hold;
    m_wrench->setOutputPaused(hold);
}
