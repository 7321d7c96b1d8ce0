#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Reads a fuzz input front to back as the pieces a target needs. Past the end
// every read gives zero or nothing, so any input decodes to something.
class DFuzzInput {
public:
    DFuzzInput(const uint8_t* data, size_t size);

    bool atEnd() const { return m_offset >= m_bytes.size(); }
    quint8 byte();
    // Up to count bytes.
    QByteArray bytes(int count);
    // A length byte (modulo maxLength + 1), then that many bytes.
    QByteArray text(int maxLength);
    // Eight bytes as the bits of a double: any value, NaN and infinities too.
    double rawDouble();
    qint64 integer64();
    qint32 integer32();
    QByteArray rest();

private:
    QByteArray m_bytes;
    int m_offset = 0;
};
