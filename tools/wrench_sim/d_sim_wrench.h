#pragma once

#include "d_sim_faults.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class QTimer;

// The wrench's end of the line protocol. Frames arrive through receive() and
// end with CR; the wrench answers through output(), always on a later turn of
// the event loop, never inside receive(). It keeps its saved tightening
// records oldest first.
class DSimWrench : public QObject {
    Q_OBJECT

public:
    explicit DSimWrench(const QByteArray& serialId = "W1", const DSimFaults& faults = {},
                        quint32 seed = 1, QObject* parent = nullptr);

    QByteArray serialId() const;
    DSimFaults faults() const;

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
    bool isLocked() const;
    bool isScreenLocked() const;
    // The last program frame accepted (mnemonic and fields, no serial ID, no CR).
    QByteArray program() const;

signals:
    // Bytes the wrench sends, in order.
    void output(const QByteArray& bytes);
    // After a tightening: its record line (no line end), as "GDS" will answer it.
    void tightened(const QByteArray& recordLine);
};
