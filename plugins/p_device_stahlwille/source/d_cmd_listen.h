#pragma once

#include "d_line_assembler.h"

#include <d_abstract_command.h>

#include <QByteArray>
#include <QPointer>

class PDeviceStahlwille;
class QTimer;

// "listenEventsData": polls the wrench once a second ("GDS") for its saved
// tightening, publishes each new one as "eventData", then empties the wrench's
// memory with "CLR" until it answers that nothing is saved, and polls again.
// It runs until the host finishes it.
class DCmdListen : public DAbstractCommand {
    Q_OBJECT

public:
    static constexpr int pollIntervalMs = 1000;
    static constexpr int inactivityIntervalMs = 5000;

    DCmdListen(const QVariantMap& arguments, QObject* parent);
    ~DCmdListen() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool cbListenReply(quint64 instructionId, const QVariantMap& reply);

    // The line being assembled from the wrench's replies, for checks of its bound.
    const DLineAssembler& lineBuffer() const { return m_lineBuffer; }

private:
    // Where the exchange with the wrench stands. Every "CLR" waits for its
    // answer; record lines that come meanwhile are dropped.
    enum class Phase {
        // Polling; the "CLR" written at the start waits for its answer.
        FirstClear,
        // Polling; a record line is taken.
        Polling,
        // Polling stopped; the "CLR" written after a record waits for its answer.
        RecordFetched,
        // Polling stopped; "CLR" again on each "OK", until nothing is saved.
        Clearing,
    };

    void sendClearFrame();
    void sendGetDataFrame();
    void closeDriverConnection();
    void writeFrame(const char* mnemonic);

    void classifyLine(const QByteArray& line, int replyNumber);
    // The line is this wrench's serial prefix followed by exactly answer.
    bool isAnswer(const QByteArray& line, const char* answer) const;
    bool isNothingSavedAnswer(const QByteArray& line) const;
    void onClearAcknowledged();
    void onNothingSaved();
    void handleRecord(const QByteArray& line, int replyNumber);
    void clearFetchedRecord();
    void publishEventData(const QByteArray& line, int replyNumber);

    QByteArray m_serialPrefix;
    DLineAssembler m_lineBuffer;
    quint64 m_listenInstructionId = 0;
    QPointer<PDeviceStahlwille> m_plugin;
    QTimer* m_pollTimer = nullptr;
    QTimer* m_inactivityTimer = nullptr;
    Phase m_phase = Phase::FirstClear;
    QByteArray m_lastRecordKey;
    int m_lastReplyNumber = 0;
};
