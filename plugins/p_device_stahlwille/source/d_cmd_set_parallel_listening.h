#pragma once

#include <d_abstract_command.h>

// "setParallelListening": switches the driver's parallel listening on or off
// and mirrors the driver's "cmd_success" answer. Nothing goes to the wrench.
class DCmdSetParallelListening : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdSetParallelListening(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetParallelListening() override;

    bool commandExecute() override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool cbParallelListeningReply(quint64 instructionId, const QVariantMap& reply);
};
