#pragma once

#include "d_line_assembler.h"

#include <d_abstract_command.h>

#include <QByteArray>
#include <QString>

class QTimer;

// "checkConnectionWithSerial": writes the serial ID followed by "BAT" up to five
// times, 3000 ms apart, and succeeds on the first answer line that begins with
// the serial ID.
class DCmdCheckConnectionWithSerial : public DAbstractCommand {
    Q_OBJECT

public:
    static constexpr int maxAttempts = 5;
    static constexpr int retryIntervalMs = 3000;

    DCmdCheckConnectionWithSerial(const QVariantMap& arguments, QObject* parent);
    ~DCmdCheckConnectionWithSerial() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool cbListenReply(quint64 instructionId, const QVariantMap& reply);

private slots:
    void sendAttempt();

private:
    void checkLine(const QByteArray& line);

    quint64 m_listenInstructionId = 0;
    DLineAssembler m_lineBuffer;
    QTimer* m_retryTimer = nullptr;
    int m_attempts = 0;
    QString m_serialId;
    QByteArray m_frame;
};
