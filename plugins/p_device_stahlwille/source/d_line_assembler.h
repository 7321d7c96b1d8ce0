#pragma once

#include <QByteArray>
#include <QVariantMap>

#include <functional>

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

    using LineHandler = std::function<void(const QByteArray& line)>;

    // Hands each line that the bytes end to onLine, in order.
    void feed(const QByteArray& bytes, const LineHandler& onLine);
    // Feeds the reply's "frame"; false, with nothing fed, when it has none.
    bool feedReply(const QVariantMap& reply, const LineHandler& onLine);

    // The bytes of the line not yet ended.
    const QByteArray& pending() const { return m_line; }
    bool isDiscarding() const { return m_overlong; }

private:
    void append(char byte);
    void endLine(const LineHandler& onLine);

    QByteArray m_line;
    bool m_overlong = false;
};
