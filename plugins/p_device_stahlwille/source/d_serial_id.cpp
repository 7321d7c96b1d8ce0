#include "d_serial_id.h"

#include "d_diagnostic_log.h"

#include <algorithm>

std::optional<QByteArray> DSerialId::framePrefix(const QVariant& serialId, const QObject* logger) {
    const QByteArray prefix = serialId.toString().toUtf8();
    if (!isFrameSafe(prefix)) {
        WRENCH_LOG_REFUSED(logger,
                           "ERROR: nothing written: the serialId would break the frame:", prefix);
        return std::nullopt;
    }
    return prefix;
}

bool DSerialId::isFrameSafe(const QByteArray& serialId) {
    return std::none_of(serialId.cbegin(), serialId.cend(), [](char byte) {
        const auto value = static_cast<unsigned char>(byte);
        return value < 0x20 || value == 0x7F || byte == ',';
    });
}
