#include "d_host_console.h"

#include "d_json_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool writeLine(std::FILE* stream, const QByteArray& line) {
    const auto size = static_cast<size_t>(line.size());
    const bool written =
        std::fwrite(line.constData(), 1, size, stream) == size && std::fputc('\n', stream) != EOF;
    return std::fflush(stream) == 0 && written;
}

} // namespace

bool DHostConsole::json(const QJsonObject& object, QString* error) {
    if (writeLine(stdout, DJsonOutput::compact(object))) {
        return true;
    }
    if (error) {
        *error = stdoutError();
    }
    // This line is lost; the next one is judged by its own write.
    std::clearerr(stdout);
    return false;
}

QString DHostConsole::stdoutError() {
    return QStringLiteral("cannot write to stdout: %1")
        .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

void DHostConsole::message(const QString& text) {
    writeLine(stderr, QStringLiteral("wrench_host: %1").arg(text).toUtf8());
}

void DHostConsole::raw(const QString& text) {
    writeLine(stderr, text.toUtf8());
}

void DHostConsole::usage(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}
