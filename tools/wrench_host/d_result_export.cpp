#include "d_result_export.h"

#include "d_host_console.h"
#include "d_json_output.h"
#include "d_result_store.h"

#include <QJsonObject>

#include <cstdio>

namespace {

void writeLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
}

QString csvValue(const QVariant& value) {
    if (value.type() == QVariant::Double) {
        return QString::number(value.toDouble(), 'g', 15);
    }
    return value.toString();
}

QByteArray csvLine(const QStringList& values) {
    QByteArrayList fields;
    for (const QString& value : values) {
        fields.append(DResultExport::csvField(value));
    }
    return fields.join(',');
}

} // namespace

bool DResultExport::write(const DResultStore& store, Format format, const QString& since,
                          QString* error) {
    if (format == Format::Csv) {
        writeLine(csvLine(QStringList{"id", "serialId", "receivedAt"} + DResultStore::fieldNames() +
                          QStringList{"sentAt"}));
    }
    const bool ok = store.forEach(
        since,
        [format](const DResultStore::Row& row) {
            if (format == Format::JsonLines) {
                writeLine(DResultStore::toJson(
                    row, {{QStringLiteral("sentAt"), DJsonOutput::toJson(row.sentAt)}}));
                return;
            }
            QStringList values{QString::number(row.id), row.serialId, row.receivedAt};
            for (const QVariant& field : row.fields) {
                values.append(csvValue(field));
            }
            values.append(row.sentAt.toString());
            writeLine(csvLine(values));
        },
        error);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        *error = DHostConsole::stdoutError();
        std::clearerr(stdout);
        return false;
    }
    return ok;
}

QByteArray DResultExport::csvField(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') ||
        bytes.contains('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}
