#include "d_result_export.h"

#include "d_host_console.h"
#include "d_json_output.h"
#include "d_result_payload.h"
#include "d_result_store.h"

#include <QJsonObject>

#include <cstdio>

namespace {

void writeLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
}

bool startsLikeFormula(const QString& text) {
    return !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front());
}

QByteArray csvLine(const QVariantList& values) {
    QByteArrayList cells;
    for (const QVariant& value : values) {
        cells.append(DResultExport::csvCell(value));
    }
    return cells.join(',');
}

QVariantList textCells(const QStringList& texts) {
    QVariantList cells;
    for (const QString& text : texts) {
        cells.append(text);
    }
    return cells;
}

} // namespace

bool DResultExport::write(const DResultStore& store, Format format, const QString& since,
                          QString* error) {
    if (format == Format::Csv) {
        writeLine(csvLine(textCells(QStringList{"id", "serialId", "receivedAt"} +
                                    DResultStore::fieldNames() + QStringList{"sentAt"})));
    }
    const QString storeId = store.storeId();
    const bool ok = store.forEach(
        since,
        [format, &storeId](const DResultStore::Row& row) {
            if (format == Format::JsonLines) {
                writeLine(DResultPayload::toJson(
                    row, storeId, {{QStringLiteral("sentAt"), DJsonOutput::toJson(row.sentAt)}}));
                return;
            }
            writeLine(csvLine(QVariantList{row.id, row.serialId, row.receivedAt} + row.fields +
                              QVariantList{row.sentAt}));
        },
        error);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        *error = DHostConsole::stdoutError();
        std::clearerr(stdout);
        return false;
    }
    return ok;
}

QByteArray DResultExport::csvCell(const QVariant& value) {
    switch (value.type()) {
    case QVariant::Double:
        return QByteArray::number(value.toDouble(), 'g', 15);
    case QVariant::LongLong:
    case QVariant::Int:
        return QByteArray::number(value.toLongLong());
    default:
        break;
    }
    const QString text = value.toString();
    QByteArray bytes = text.toUtf8();
    if (startsLikeFormula(text)) {
        bytes.prepend('\'');
    }
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') ||
        bytes.contains('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}
