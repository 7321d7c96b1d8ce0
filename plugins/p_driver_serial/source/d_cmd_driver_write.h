#pragma once

#include <d_abstract_command.h>

// "write" of the driver: hands "frame" to the line unchanged, opening it
// first if it is closed, and answers whether it was handed over.
class DCmdDriverWrite : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdDriverWrite(const QVariantMap& arguments, QObject* parent);
    ~DCmdDriverWrite() override;

    bool commandExecute() override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;
};
