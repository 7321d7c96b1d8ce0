#pragma once

#include <d_abstract_command.h>

#include <QByteArray>

// "setKeepAliveFonction": hands the keep-alive parameters to the driver, which
// runs the keep-alive itself, and mirrors the driver's "cmd_success" answer.
class DCmdSetKeepAliveFonction : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdSetKeepAliveFonction(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetKeepAliveFonction() override;

    bool commandExecute() override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool cbKeepAliveReply(quint64 instructionId, const QVariantMap& reply);

private:
    QByteArray m_serialPrefix;
};
