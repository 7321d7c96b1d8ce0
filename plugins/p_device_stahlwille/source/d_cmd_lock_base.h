#pragma once

#include "d_line_assembler.h"

#include <d_abstract_command.h>

#include <QByteArray>

class QTimer;

// What the lock and screen-lock commands share: the answer timer runs before
// the wrench is asked, the wrench's lines are listened to, one frame chosen by
// "lock" is written, and the run succeeds on exactly the serial ID + "OK" or
// fails when that line does not come within 3000 ms. Both outcomes record both
// results, so a late answer after a timeout leaves a consistent pair.
class DCmdLockBase : public DAbstractCommand {
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 3000;

    ~DCmdLockBase() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;

    bool cbListenReply(quint64 instructionId, const QVariantMap& reply);

    // The line being assembled from the wrench's replies, for checks of its bound.
    const DLineAssembler& lineBuffer() const { return m_lineBuffer; }

protected:
    DCmdLockBase(const QString& name, const QVariantMap& arguments, QObject* parent);
    DCmdLockBase(const QString& name, const QString& stopName, const QVariantMap& arguments,
                 QObject* parent);

    virtual QVariantMap listenArguments() const = 0;
    // The mnemonic and CR, without the serial prefix.
    virtual QByteArray frameFor(bool lock) const = 0;

private slots:
    void onTimeout();

private:
    void checkLine(const QByteArray& line);

    quint64 m_listenInstructionId = 0;
    DLineAssembler m_lineBuffer;
    QTimer* m_answerTimer = nullptr;
    QByteArray m_serialPrefix;
};
