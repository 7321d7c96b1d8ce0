#include "d_line_assembler.h"

void DLineAssembler::feed(const QByteArray& bytes, const LineHandler& onLine) {
    for (const char byte : bytes) {
        if (byte == '\r' || byte == '\n') {
            endLine(onLine);
        } else {
            append(byte);
        }
    }
}

bool DLineAssembler::feedReply(const QVariantMap& reply, const LineHandler& onLine) {
    const auto frame = reply.constFind("frame");
    if (frame == reply.constEnd()) {
        return false;
    }
    feed(frame->toByteArray(), onLine);
    return true;
}

void DLineAssembler::append(char byte) {
    if (m_overlong) {
        return;
    }
    if (m_line.size() == maxLineLength) {
        m_line.clear();
        m_overlong = true;
        return;
    }
    m_line.append(byte);
}

void DLineAssembler::endLine(const LineHandler& onLine) {
    if (!m_line.isEmpty() && !m_overlong) {
        onLine(m_line);
    }
    m_line.clear();
    m_overlong = false;
}
