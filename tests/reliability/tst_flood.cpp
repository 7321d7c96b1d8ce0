#include <d_cmd_listen.h>
#include <d_cmd_lock_base.h>
#include <d_cmd_set_program.h>
#include <d_instruction_router.h>
#include <d_tightening_record.h>
#include <sim_bench.h>

#include <QtTest>

namespace {

// The largest of each buffer along the line while the wrench floods it.
struct Peaks {
    int assembled = 0;
    bool discarded = false;
    qint64 unreadOnTheLine = 0;
    qint64 queuedInTheWrench = 0;
    int frameInTheWrench = 0;
    qint64 bytesRead = 0;
};

const DLineAssembler* lineBufferOf(DAbstractCommand* command) {
    if (auto* listen = qobject_cast<DCmdListen*>(command)) {
        return &listen->lineBuffer();
    }
    if (auto* lock = qobject_cast<DCmdLockBase*>(command)) {
        return &lock->lineBuffer();
    }
    if (auto* program = qobject_cast<DCmdSetProgram*>(command)) {
        return &program->lineBuffer();
    }
    return nullptr;
}

// Notes the peaks at every chunk the driver reads, and once more at the end.
class PeakWatch {
public:
    PeakWatch(SimBench& bench, DAbstractCommand* command)
        : m_bench(bench)
        , m_lineBuffer(lineBufferOf(command)) {
        QObject::connect(&bench.driver, &PDriverSerial::sigBytesRead, &bench.driver,
                         [this](const QByteArray& chunk) {
                             peaks.bytesRead += chunk.size();
                             note();
                         });
    }

    void note() {
        if (m_lineBuffer) {
            peaks.assembled = qMax(peaks.assembled, int(m_lineBuffer->pending().size()));
            peaks.discarded = peaks.discarded || m_lineBuffer->isDiscarding();
        }
        peaks.unreadOnTheLine = qMax(peaks.unreadOnTheLine, m_bench.line.bytesAvailable());
        peaks.queuedInTheWrench = qMax(peaks.queuedInTheWrench, m_bench.wrench.pendingBytes());
        peaks.frameInTheWrench = qMax(peaks.frameInTheWrench, m_bench.wrench.pendingFrameBytes());
    }

    Peaks peaks;

private:
    SimBench& m_bench;
    const DLineAssembler* m_lineBuffer;
};

void verifyCaps(const Peaks& peaks, qint64 floodBytes) {
    QVERIFY(peaks.bytesRead >= floodBytes);
    QVERIFY(peaks.discarded);
    QVERIFY(peaks.assembled <= DLineAssembler::maxLineLength);
    QVERIFY(peaks.unreadOnTheLine <= DSimLine::maxUnreadBytes + DSimWrench::floodChunkBytes);
    QVERIFY(peaks.queuedInTheWrench <= DSimWrench::maxPendingBytes);
    QVERIFY(peaks.frameInTheWrench <= DSimWrench::maxFrameLength);
}

} // namespace

class TstFlood : public QObject {
    Q_OBJECT

private slots:
    // The wrench's first answer comes after 50 MB without a line end: no
    // buffer along the way outgrows its cap, and the tightening that follows
    // is published.
    void nextRecordAfterTheFloodIsPublished() {
        const qint64 floodBytes =
            countFromEnvironment("WRENCH_FLOOD_MIB", int(DSimWrench::floodBytes >> 20)) *
            qint64(1 << 20);
        SimBench bench("flood");
        bench.wrench.setFloodBytes(floodBytes);
        QList<QByteArray> records;
        connect(&bench.wrench, &DSimWrench::tightened,
                [&records](const QByteArray& record) { records.append(record); });
        BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});
        PeakWatch watch(bench, listen.command);
        QVERIFY(listen.execute());
        keepTimerShort(listen.timer(1000), 2);

        QVERIFY(runUntil(
            [&] { return watch.peaks.bytesRead >= floodBytes && !bench.wrench.hasPendingOutput(); },
            120000));
        QVERIFY(listen.events.isEmpty());
        bench.wrench.tighten();
        QVERIFY(runUntil([&] { return listen.events.size() == 1; }, 10000));
        watch.note();
        verifyCaps(watch.peaks, floodBytes);
        const QVariantMap event = listen.events[0].toMap();
        QCOMPARE(event, DTighteningRecord::eventData(records.value(0),
                                                     event.value("eventCountNo").toInt(), 0));
        QVERIFY(listen.finish());
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }

    // A run whose answer is glued to the flood cannot see it: it fails when
    // its answer timer runs out, and never reports success it did not get. The
    // same run after the flood succeeds.
    void runsDuringAndAfterTheFlood_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("failure");
        QTest::addColumn<QStringList>("after");
        const QStringList lockFailed{"failed=true", "doneOk=false"};
        const QStringList done{"doneOk=true", "failed=false"};
        QTest::newRow("lock") << "setLock" << lockFailed << done;
        QTest::newRow("screen lock") << "setScreenLock" << lockFailed << done;
        QTest::newRow("program") << "setProgram" << QStringList{"cmd_success=false", "failed=true"}
                                 << QStringList{"cmd_success=true", "failed=false"};
    }

    void runsDuringAndAfterTheFlood() {
        QFETCH(QString, command);
        QFETCH(QStringList, failure);
        // Well above every cap along the line, and quick.
        const qint64 floodBytes = qint64(8) << 20;
        SimBench bench("flood");
        bench.wrench.setFloodBytes(floodBytes);
        const QVariantMap arguments{{"serialId", "W1"}, {"lock", true}, {"program", 3}};

        BenchRun during(bench.plugin, command, arguments);
        PeakWatch watch(bench, during.command);
        QVERIFY(during.execute());
        QTimer* answer = during.timer(3000);
        QVERIFY(answer && answer->isSingleShot());
        QVERIFY(runUntil(
            [&] { return watch.peaks.bytesRead >= floodBytes && !bench.wrench.hasPendingOutput(); },
            60000));
        QVERIFY2(!during.outcome() || during.updates.mid(0, 2) == failure,
                 qPrintable(during.updates.join(' ')));
        if (answer->isActive()) {
            answer->start(1);
        }
        QTRY_VERIFY(during.outcome());
        QCOMPARE(during.updates.mid(0, 2), failure);
        QVERIFY(!during.updates.contains("doneOk=true") &&
                !during.updates.contains("cmd_success=true"));
        watch.note();
        verifyCaps(watch.peaks, floodBytes);
        QVERIFY(during.finish());
        QVERIFY(!answer->isActive());

        BenchRun after(bench.plugin, command, arguments);
        const int chunksBefore = bench.chunksRead;
        QVERIFY(after.execute());
        QTimer* afterAnswer = after.timer(3000);
        QVERIFY(runUntil(
            [&] { return bench.chunksRead > chunksBefore && !bench.wrench.hasPendingOutput(); },
            10000));
        QTRY_VERIFY(after.outcome());
        QTEST(after.updates, "after");
        after.finish();
        QVERIFY(!afterAnswer->isActive());
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstFlood)
#include "tst_flood.moc"
