#pragma once

#include "d_line_assembler.h"

#include <d_abstract_command.h>

#include <QByteArray>

class QTimer;

// "setProgram": loads one tightening preset into the wrench. It records the
// preset number as the plug-in's "currentProgId", asks this plug-in for the
// preset ("getPresetData" to "myself"), writes the program frame built from it
// and succeeds when the wrench answers "OK" or "ParseOK…" within 3000 ms of
// execution.
class DCmdSetProgram : public DAbstractCommand {
    Q_OBJECT

public:
    static constexpr int answerTimeoutMs = 3000;

    DCmdSetProgram(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetProgram() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool cbPresetDataReply(quint64 instructionId, const QVariantMap& reply);
    bool cbListenReply(quint64 instructionId, const QVariantMap& reply);

    // The line being assembled from the wrench's replies, for checks of its bound.
    const DLineAssembler& lineBuffer() const { return m_lineBuffer; }

private slots:
    void onTimeout();

private:
    void storeCurrentProgram() const;
    void checkLine(const QByteArray& line);
    void publishFailure();

    // 0 (none) until the preset has been turned into a frame.
    quint64 m_listenInstructionId = 0;
    DLineAssembler m_lineBuffer;
    QTimer* m_answerTimer = nullptr;
    QByteArray m_serialPrefix;
    quint32 m_program = 0;
    // The preset request while it is out, ended by finishing so that no frame
    // is written after it; 0 once its reply came.
    quint64 m_presetInstructionId = 0;
};
