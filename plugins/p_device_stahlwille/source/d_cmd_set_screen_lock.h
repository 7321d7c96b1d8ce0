#pragma once

#include "d_line_assembler.h"

#include <d_abstract_command.h>

#include <QByteArray>

class QTimer;

// "setScreenLock": writes the serial ID followed by "DKS" (lock the screen) or
// "EKS" (unlock it) and succeeds on the answer line serial ID + "OK"; fails
// when no such line comes within 3000 ms.
class DCmdSetScreenLock : public DAbstractCommand {
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 3000;

    DCmdSetScreenLock(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetScreenLock() override;

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
