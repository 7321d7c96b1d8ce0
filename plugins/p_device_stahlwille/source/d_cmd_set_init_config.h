#pragma once

#include <d_abstract_command.h>

#include <QByteArray>

// "setInitConfig": resets the program on the wrench. It switches the driver to
// parallel listening, writes the serial ID followed by "DEL" and records
// success at once: the result says that the reset was handed over, not that
// the wrench carried it out.
class DCmdSetInitConfig : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdSetInitConfig(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetInitConfig() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

private slots:
    void onTimeout();

private:
    // Never set: the reset waits for no answer, so finishing it stops
    // nothing (identifier 0).
    quint64 m_listenInstructionId = 0;
    QByteArray m_serialPrefix;
};
