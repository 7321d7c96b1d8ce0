#include "d_fuzz_input.h"

#include <cstring>

DFuzzInput::DFuzzInput(const uint8_t* data, size_t size)
    : m_bytes(reinterpret_cast<const char*>(data), int(qMin<size_t>(size, 1 << 20))) {}

quint8 DFuzzInput::byte() {
    return atEnd() ? 0 : static_cast<quint8>(m_bytes.at(m_offset++));
}

QByteArray DFuzzInput::bytes(int count) {
    const QByteArray taken = m_bytes.mid(m_offset, count);
    m_offset += taken.size();
    return taken;
}

QByteArray DFuzzInput::text(int maxLength) {
    return bytes(byte() % (maxLength + 1));
}

double DFuzzInput::rawDouble() {
    const qint64 bits = integer64();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

qint64 DFuzzInput::integer64() {
    QByteArray taken = bytes(8);
    taken.append(8 - taken.size(), '\0');
    qint64 value = 0;
    std::memcpy(&value, taken.constData(), sizeof value);
    return value;
}

qint32 DFuzzInput::integer32() {
    QByteArray taken = bytes(4);
    taken.append(4 - taken.size(), '\0');
    qint32 value = 0;
    std::memcpy(&value, taken.constData(), sizeof value);
    return value;
}

QByteArray DFuzzInput::rest() {
    const QByteArray taken = m_bytes.mid(m_offset);
    m_offset = m_bytes.size();
    return taken;
}
