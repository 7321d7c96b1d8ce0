#pragma once

#include <d_abstract_command.h>

// "closeConnection" of the driver: closes the line. Standing listeners keep
// standing; the next "write" or listener opens the line again.
class DCmdDriverCloseConnection : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdDriverCloseConnection(const QVariantMap& arguments, QObject* parent);
    ~DCmdDriverCloseConnection() override;

    bool commandExecute() override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;
};
