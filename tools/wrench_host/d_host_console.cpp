#include "d_host_console.h"

#include "d_json_output.h"

#include <cstdio>

namespace {

void writeLine(std::FILE* stream, const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

void DHostConsole::json(const QJsonObject& object) {
    writeLine(stdout, DJsonOutput::compact(object));
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
