// The tightening record decode: any line, whether it reads as a record or not;
// and what a record becomes in wrench_host's store: one row whose JSON is the
// map as printed.
#include "d_fuzz_environment.h"

#include <d_json_output.h>
#include <d_result_store.h>
#include <d_tightening_record.h>

#include <QJsonDocument>

#include <cmath>
#include <memory>

namespace {

void checkStored(const QVariantMap& eventData) {
    // A fresh store now and then, so that a long run does not fill memory.
    static std::unique_ptr<DResultStore> store;
    static int rows = 0;
    QString error;
    if (!store || ++rows % 1000 == 0) {
        store = std::make_unique<DResultStore>();
        DFuzzEnvironment::check(store->openInMemory(&error), "the store does not open");
    }
    const qint64 last = store->lastRowId();
    const DResultSink::Taken taken =
        store->takeResult({QStringLiteral("W1"), QDateTime::currentDateTimeUtc(), eventData});
    DFuzzEnvironment::check(taken.isKept(), "a record the store does not take");
    if (taken.outcome == DResultSink::Taken::Outcome::Repeat) {
        return;
    }
    const QList<DResultStore::Row> stored = store->unsent(last, 1, &error);
    // Byte for byte as printed: Qt's JSON text is not exact for every double
    // (above 2^53 it writes integers), so the text is compared, not the value.
    DFuzzEnvironment::check(stored.size() == 1 &&
                                stored.first().eventData ==
                                    DJsonOutput::compact(DJsonOutput::toJson(eventData).toObject()),
                            "the stored JSON is not the map as printed");
    DFuzzEnvironment::check(
        QJsonDocument::fromJson(DResultStore::toJson(stored.first())).isObject(),
        "the row's JSON is no object");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray line(reinterpret_cast<const char*>(data), int(qMin<size_t>(size, 1 << 16)));
    const bool isRecord = DTighteningRecord::isRecordLine(line);
    const bool intact = DTighteningRecord::isIntact(line);
    const QVariantMap withPreset = DTighteningRecord::eventData(line, 7, 3);
    const QVariantMap withoutPreset = DTighteningRecord::eventData(line, 7, std::nullopt);

    DFuzzEnvironment::check(isRecord == !withPreset.isEmpty(), "record test and decode disagree");
    DFuzzEnvironment::check(isRecord || !intact, "an intact line that is no record");
    if (!isRecord) {
        DFuzzEnvironment::check(withoutPreset.isEmpty(), "decode of a line that is no record");
        return 0;
    }
    DFuzzEnvironment::check(withPreset.size() == 15 && withoutPreset.size() == 14,
                            "eventData has the wrong entries");
    for (const QVariant& value : withPreset) {
        if (value.type() == QVariant::Double) {
            DFuzzEnvironment::check(std::isfinite(value.toDouble()), "a value that is not finite");
        }
    }
    checkStored(withPreset);
    return 0;
}
