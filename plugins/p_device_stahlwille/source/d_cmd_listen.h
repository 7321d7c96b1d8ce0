#pragma once

#include "d_line_assembler.h"

#include <d_abstract_command.h>

#include <QByteArray>
#include <QPointer>

#include <cstring>
#include <string_view>

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
    static constexpr int instructionTimeoutMs = 2000;

    DCmdListen(const QVariantMap& arguments, QObject* parent);
    ~DCmdListen() override;

    bool commandExecute() override;
    void finishTheCommand(bool& ok) override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    bool cbListenReply(quint64 instructionId, const QVariantMap& reply);

    // The line being assembled from the wrench's replies, for checks of its bound.
    const DLineAssembler& lineBuffer() const { return m_lineBuffer; }

private:
    void sendClearFrame();
    void sendGetDataFrame();
    void closeDriverConnection();
    void restartInactivityTimer();
    void writeFrame(const char* mnemonic);

    void classifyLine(const QByteArray& line, int replyNumber);
    // The line is this wrench's serial prefix followed by exactly answer.
    template <size_t N>
    bool isAnswer(std::string_view line, const char (&answer)[N]) const {
        const size_t prefixLength = size_t(m_serialPrefix.size());
        return line.size() == prefixLength + N - 1 &&
               std::memcmp(line.data() + prefixLength, answer, N - 1) == 0 &&
               std::memcmp(line.data(), m_serialPrefix.constData(), prefixLength) == 0;
    }
    bool isNothingSavedAnswer(std::string_view line) const;
    bool isPollingStopped() const;
    void onClearAcknowledged();
    void onNothingSaved();
    void handleRecord(const QByteArray& line, std::string_view key, int replyNumber);
    void publishEventData(const QByteArray& line, int replyNumber);

    QByteArray m_serialPrefix;
    DLineAssembler m_lineBuffer;
    quint64 m_listenInstructionId = 0;
    QPointer<PDeviceStahlwille> m_plugin;
    QTimer* m_pollTimer = nullptr;
    QTimer* m_inactivityTimer = nullptr;
    // When the inactivity timer was last started, on the coarse clock: a burst
    // of replies restarts it once a clock tick, not once a reply.
    qint64 m_inactivityRestartMs = 0;
    bool m_awaitingClearAck = false;
    bool m_clearing = false;
    QByteArray m_lastRecordKey;
    int m_lastReplyNumber = 0;
};
