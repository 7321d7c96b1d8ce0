#pragma once

#include <QByteArray>
#include <QVariantMap>

#include <cstring>

// Cuts the bytes that the driver reports into lines at CR or LF, carrying a
// partial line from one reply to the next. Empty lines (the LF of a CR LF pair)
// yield nothing.
//
// The wrench's lines are short; a peer that never ends a line must not grow the
// buffer without bound. A partial line longer than maxLineLength is dropped
// whole: its bytes up to the next CR or LF are discarded, and assembly starts
// afresh after that line end.
class DLineAssembler {
public:
    static constexpr int maxLineLength = 4096;

    template <class OnLine>
    void feed(const QByteArray& bytes, OnLine&& onLine) {
        const char* cursor = bytes.constData();
        const char* const end = cursor + bytes.size();
        // Most lines end in CR alone: the next LF is looked for once, and again
        // only after it has been passed, and each CR only up to that LF.
        const char* nextLf = find(cursor, end, '\n');
        while (cursor < end) {
            if (nextLf < cursor) {
                nextLf = find(cursor, end, '\n');
            }
            const char* lineEnd = find(cursor, nextLf, '\r');
            append(cursor, int(lineEnd - cursor));
            if (lineEnd == end) {
                return;
            }
            if (!m_line.isEmpty() && !m_overlong) {
                onLine(static_cast<const QByteArray&>(m_line));
            }
            endLine();
            cursor = lineEnd + 1;
        }
    }

    // Feeds the reply's "frame"; false, with nothing fed, when it has none.
    template <class OnLine>
    bool feedReply(const QVariantMap& reply, OnLine&& onLine) {
        const auto frame = reply.constFind(QStringLiteral("frame"));
        if (frame == reply.constEnd()) {
            return false;
        }
        feed(frame->toByteArray(), onLine);
        return true;
    }

    // The bytes of the line not yet ended.
    const QByteArray& pending() const { return m_line; }
    bool isDiscarding() const { return m_overlong; }
    void clear();

private:
    // The first byte in [from, end) that is byte, or end.
    static const char* find(const char* from, const char* end, char byte) {
        const void* found = std::memchr(from, byte, size_t(end - from));
        return found ? static_cast<const char*>(found) : end;
    }

    // The line's buffer is kept from one line to the next up to this capacity
    // (a line of the wrench fits), so that most lines cost no allocation; one
    // grown by a longer line is given back when that line ends.
    static constexpr int keptCapacity = 256;

    // Inline: most appends and line ends take the short way, once a chunk.
    void append(const char* data, int length) {
        if (length == 0 || m_overlong) {
            return;
        }
        if (length > maxLineLength - m_line.size() || m_line.capacity() < keptCapacity) {
            appendWithChecks(data, length);
            return;
        }
        m_line.append(data, length);
    }

    void endLine() {
        m_overlong = false;
        if (m_line.isEmpty()) {
            return;
        }
        if (m_line.capacity() > keptCapacity) {
            m_line = QByteArray();
        } else {
            // With its capacity reserved, the buffer stays allocated.
            m_line.truncate(0);
        }
    }

    void appendWithChecks(const char* data, int length);

    QByteArray m_line;
    bool m_overlong = false;
};
