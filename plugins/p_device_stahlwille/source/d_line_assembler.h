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
        while (cursor < end) {
            const char* lineEnd = findLineEnd(cursor, end);
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
    // The first CR or LF, or end. memchr finds the CR, then the LF before it:
    // both scans run over whole words instead of byte by byte.
    static const char* findLineEnd(const char* from, const char* end) {
        const auto* cr = static_cast<const char*>(std::memchr(from, '\r', size_t(end - from)));
        const char* const limit = cr ? cr : end;
        const auto* lf = static_cast<const char*>(std::memchr(from, '\n', size_t(limit - from)));
        return lf ? lf : limit;
    }

    void append(const char* data, int length);
    void endLine();

    QByteArray m_line;
    bool m_overlong = false;
};
