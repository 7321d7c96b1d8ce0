#pragma once

#include "d_sim_faults.h"
#include "d_sim_frame.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QRandomGenerator>

#include <deque>

class QTimer;

// The wrench's end of the line protocol. Frames arrive through receive() and
// end with CR; the wrench answers through output(), always on a later turn of
// the event loop, never inside receive(). It keeps its saved tightening
// records oldest first. With the fault "delivered" it starts holding one
// record that its last "GDS" delivered before this session.
class DSimWrench : public QObject {
    Q_OBJECT

public:
    explicit DSimWrench(const QByteArray& serialId = "W1", const DSimFaults& faults = {},
                        quint32 seed = 1, QObject* parent = nullptr);

    QByteArray serialId() const;
    DSimFaults faults() const;
    // Starts or ends a spell of silence: a silent wrench acts on nothing it
    // receives and prints nothing, and goes on saving its tightenings.
    void setSilent(bool silent);
    // How many bytes the flood fault sends (floodBytes unless set); set it
    // before the flood begins.
    void setFloodBytes(qint64 bytes);
    // The next "CLR" that would remove a record is answered "?" and removes
    // nothing.
    void refuseNextClear();

    // Bytes written to the wrench, in any chunking.
    void receive(const QByteArray& bytes);

    // One tightening: the wrench saves its record and prints its result line.
    void tighten();
    // count tightenings, one every everyMs, from now on.
    void startTightenings(int count, int everyMs);

    // State for tests and the trace.
    int tighteningCount() const;
    int savedRecordCount() const;
    QList<QByteArray> savedRecords() const;
    // Every record the wrench made, oldest first, whether saved, cleared or
    // beyond its memory: with savedRecords() it tells which were lost.
    QList<QByteArray> createdRecords() const;
    bool isLocked() const;
    bool isScreenLocked() const;
    // The last program frame accepted (mnemonic and fields, no serial ID, no CR).
    QByteArray program() const;

    // Output queued and not yet emitted.
    bool hasPendingOutput() const;
    // Bytes of queued lines not yet emitted (the flood is not counted: it is
    // never held in memory).
    qint64 pendingBytes() const;
    // Bytes of the frame being received, not yet ended by CR.
    int pendingFrameBytes() const;
    // A reader that cannot keep up holds the output back; nothing queued is
    // lost, it is emitted once the output is resumed.
    void setOutputPaused(bool paused);
    bool isOutputPaused() const;

    // A longer frame is dropped whole, up to its CR.
    static constexpr int maxFrameLength = 256;
    // The wrench's memory: a tightening beyond it is not saved.
    static constexpr int maxSavedRecords = 1000;
    // Queued lines beyond this many bytes are dropped, as a wire that nobody
    // reads would lose them.
    static constexpr qint64 maxPendingBytes = 1 << 20;
    // The flood fault: this many bytes without a line end, one chunk per turn.
    static constexpr qint64 floodBytes = qint64(50) * 1024 * 1024;
    static constexpr int floodChunkBytes = 64 * 1024;
    // The wrench's clock (seconds since 1970, UTC) before its first tightening;
    // each tightening moves it on by a few seconds.
    static constexpr qint64 firstTimestamp = 1709634120;

signals:
    // Bytes the wrench sends, in order.
    void output(const QByteArray& bytes);
    // After a tightening: its record line (no line end), as "GDS" will answer it.
    void tightened(const QByteArray& recordLine);

private:
    // A run of bytes to send, or the flood's bytes still to send.
    struct Segment {
        QByteArray bytes;
        qint64 floodLeft = 0;
    };

    void endFrame();
    void execute(const DSimFrame& frame);
    void answerGetData();
    void answerClear();
    void acceptProgram(const DSimFrame& frame);

    void answer(const QByteArray& text);
    void answerLine(const QByteArray& line);
    QByteArray deliveredCopy(const QByteArray& record);
    QByteArray damagedCopy(const QByteArray& record);
    QByteArray foreignLine() const;
    void queueLine(const QByteArray& line);
    void queueBytes(const QByteArray& bytes);
    void queueFlood();
    void startOutput();
    void sendNext();
    QByteArray noiseLine();
    QByteArray floodChunk();

    void onTighteningTimeout();
    QByteArray saveTightening();
    double between(double lowest, double highest);
    QByteArray recordLine(int number, double torque, double angle, qint64 timestamp,
                          bool inTolerance) const;
    QByteArray resultLine(int number, double torque, char sign, double seconds,
                          qint64 timestamp) const;
    char toleranceSign(double torque, double angle) const;

    QByteArray m_serialId;
    DSimFaults m_faults;
    QRandomGenerator m_random;

    QByteArray m_frame;
    bool m_frameOverlong = false;

    bool m_locked = false;
    bool m_screenLocked = false;
    QByteArray m_program;
    DSimFrame::Targets m_targets;

    QList<QByteArray> m_savedRecords;
    QList<QByteArray> m_createdRecords;
    // The oldest record went out in a "GDS" answer and waits for its "CLR".
    bool m_oldestDelivered = false;
    // The damaged fault has spoilt one copy of the oldest record already.
    bool m_oldestDamaged = false;
    int m_damagedCount = 0;
    // "CLR"s still to refuse; DSimFaults::refuseClearAlways for all.
    int m_clearsToRefuse = 0;
    int m_tighteningCount = 0;
    qint64 m_lastTimestamp = firstTimestamp;
    int m_tighteningsLeft = 0;
    QTimer* m_tighteningTimer = nullptr;

    std::deque<Segment> m_queue;
    int m_headOffset = 0;
    qint64 m_pendingBytes = 0;
    bool m_flooded = false;
    qint64 m_floodBytes = floodBytes;
    bool m_outputPaused = false;
    QByteArray m_floodChunk;
    bool m_sendQueued = false;
};
