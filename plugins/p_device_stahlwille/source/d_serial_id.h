#pragma once

#include <QByteArray>
#include <QVariant>

#include <optional>

class QObject;

// The wrench's serial ID as the prefix of every frame. A CR or any other
// control byte would end the frame early and let the rest run as a frame of
// its own ("W1DEL\rW1" + "LCK\r" erases the wrench's program), and a comma
// would shift the fields of a program frame: such an ID is refused before
// anything is written.
class DSerialId {
public:
    // The ID's UTF-8 bytes; nothing, logged by logger, when a byte would break a frame.
    static std::optional<QByteArray> framePrefix(const QVariant& serialId, const QObject* logger);
    static bool isFrameSafe(const QByteArray& serialId);
};
