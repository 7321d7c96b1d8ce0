#pragma once

#include <d_abstract_command.h>

// "setParallelListening" of the driver: records the switch and answers
// "cmd_success" true. Every listener hears every chunk either way.
class DCmdDriverSetParallelListening : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdDriverSetParallelListening(const QVariantMap& arguments, QObject* parent);
    ~DCmdDriverSetParallelListening() override;

    bool commandExecute() override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;
};
