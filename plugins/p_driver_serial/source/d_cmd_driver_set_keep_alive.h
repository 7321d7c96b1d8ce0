#pragma once

#include <d_abstract_command.h>

// "setKeepAliveFonction" of the driver: records the keep-alive frame, the
// expected answer, the interval in ms and the raw mode flag, and answers
// "cmd_success" true. An empty frame or an interval <= 0 switches the
// keep-alive off.
class DCmdDriverSetKeepAlive : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdDriverSetKeepAlive(const QVariantMap& arguments, QObject* parent);
    ~DCmdDriverSetKeepAlive() override;

    bool commandExecute() override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;
};
