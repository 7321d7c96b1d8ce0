#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstring>

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
    // The next sizeof(T) bytes as the bits of a T (zeros past the end): any
    // integer, any double with NaN and the infinities.
    template <class T>
    T bitsAs() {
        T value = 0;
        const QByteArray taken = bytes(int(sizeof value));
        std::memcpy(&value, taken.constData(), size_t(taken.size()));
        return value;
    }
    QByteArray rest();

private:
    QByteArray m_bytes;
    int m_offset = 0;
};
