#include "d_fuzz_input.h"

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

QByteArray DFuzzInput::rest() {
    const QByteArray taken = m_bytes.mid(m_offset);
    m_offset = m_bytes.size();
    return taken;
}
