#pragma once

#include "fast_delegate.h"

#include <QVariantMap>
#include <QtGlobal>

// What a messenger (a command or a backend) reports about an instruction that
// did not go through.
class IMessenger {
public:
    enum EnErrorCode {
        NoError = 0,
        UnknownTarget,
        UnknownInstruction,
        Refused,
        TimedOut,
    };

    virtual ~IMessenger() = default;
};

// Callback of an instruction: identifier and reply map in, handled flag out.
using DReplyDelegate = fastdelegate::FastDelegate2<quint64, const QVariantMap&, bool>;

// Error callback of an instruction: identifier, reply map and error code.
using DErrorDelegate =
    fastdelegate::FastDelegate3<quint64, const QVariantMap&, IMessenger::EnErrorCode, bool>;
