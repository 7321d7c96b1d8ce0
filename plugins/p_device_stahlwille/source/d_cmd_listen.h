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
//
// The wrench forgets what a "CLR" clears, so a "CLR" is written only after the
// record it clears was published in this run: the run starts by reading, not
// clearing. A record a previous run published but did not clear may so come
// twice; the host keeps it once.
class DCmdListen : public DAbstractCommand {
    Q_OBJECT

public:
    static constexpr int pollIntervalMs = 1000;
    static constexpr int inactivityIntervalMs = 5000;
    // A damaged line is fetched again; delivered this often, it is published
    // as it reads, so that an odd field can never stall a wrench.
    static constexpr int damagedDeliveriesPublished = 3;
    // "?" to this many "CLR"s of the same record, and it is no longer asked.
    static constexpr int clearRefusalsTolerated = 3;

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
    void onNothingSaved(bool refused);
    void handleRecord(const QByteArray& line, int replyNumber);
    void handleRepeat();
    bool isRefusedAsDamaged(const QByteArray& line);
    void clearFetchedRecord();
    void publishEventData(const QByteArray& line, int replyNumber);

    QByteArray m_serialPrefix;
    DLineAssembler m_lineBuffer;
    quint64 m_listenInstructionId = 0;
    QPointer<PDeviceStahlwille> m_plugin;
    QTimer* m_pollTimer = nullptr;
    QTimer* m_inactivityTimer = nullptr;
    Phase m_phase = Phase::Polling;
    // The whole line, not its timestamp: a wrench whose clock is coarse or
    // unset gives two tightenings the same one.
    QByteArray m_lastPublishedLine;
    QByteArray m_damagedLine;
    int m_damagedDeliveries = 0;
    int m_clearRefusals = 0;
    int m_lastReplyNumber = 0;
};
