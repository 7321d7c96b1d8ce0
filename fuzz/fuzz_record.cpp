// The tightening record decode: any line, whether it reads as a record or not.
#include "d_fuzz_environment.h"

#include <d_tightening_record.h>

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray line(reinterpret_cast<const char*>(data), int(qMin<size_t>(size, 1 << 16)));
    const bool isRecord = DTighteningRecord::isRecordLine(line);
    const QByteArray key = DTighteningRecord::key(line);
    const QVariantMap withPreset = DTighteningRecord::eventData(line, 7, 3);
    const QVariantMap withoutPreset = DTighteningRecord::eventData(line, 7, std::nullopt);

    DFuzzEnvironment::check(isRecord == !withPreset.isEmpty(), "record test and decode disagree");
    DFuzzEnvironment::check(isRecord || key.isEmpty(), "a key from a line that is no record");
    DFuzzEnvironment::check(key.size() <= line.size() && !key.contains(','),
                            "the key is not one field");
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
    return 0;
}
