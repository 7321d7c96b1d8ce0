#pragma once

#include "d_line_assembler.h"

#include <d_abstract_command.h>

#include <QByteArray>

class QTimer;

// "setLock": writes the serial ID followed by "LCK" (lock) or "UCK" (unlock)
// and succeeds on the answer line serial ID + "OK"; fails when no such line
// comes within 3000 ms.
class DCmdSetLock : public DAbstractCommand {
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 3000;

    DCmdSetLock(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetLock() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool cbListenReply(quint64 instructionId, const QVariantMap& reply);

private slots:
    void onTimeout();

private:
    void checkLine(const QByteArray& line);

    quint64 m_listenInstructionId = 0;
    DLineAssembler m_lineBuffer;
    QTimer* m_answerTimer = nullptr;
    QByteArray m_serialPrefix;
};
