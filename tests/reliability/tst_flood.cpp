#include <d_cmd_listen.h>
#include <d_cmd_lock_base.h>
#include <d_cmd_set_program.h>
#include <d_instruction_router.h>
#include <d_tightening_record.h>
#include <sim_bench.h>

#include <QtTest>

namespace {

// The largest of each buffer along the line while the wrench floods it, noted
// at every chunk the driver reads and once more when the caps are checked.
struct PeakWatch {
    SimBench& bench;
    const DLineAssembler& buffer;
    qint64 bytesRead = 0, assembled = 0, unread = 0, queued = 0, frame = 0;
    bool discarded = false;

    PeakWatch(SimBench& bench, const DLineAssembler& buffer)
        : bench(bench)
        , buffer(buffer) {
        QObject::connect(&bench.driver, &PDriverSerial::sigBytesRead, &bench.driver,
                         [this](const QByteArray& chunk) {
                             bytesRead += chunk.size();
                             note();
                         });
    }
    void note() {
        assembled = qMax(assembled, qint64(buffer.pending().size()));
        discarded = discarded || buffer.isDiscarding();
        unread = qMax(unread, bench.line.bytesAvailable());
        queued = qMax(queued, bench.wrench.pendingBytes());
        frame = qMax(frame, qint64(bench.wrench.pendingFrameBytes()));
    }
    // Until the whole flood has been read.
    bool flooded(qint64 floodBytes, int timeoutMs) {
        return runUntil([&] { return bytesRead >= floodBytes && !bench.wrench.hasPendingOutput(); },
                        timeoutMs);
    }
    void checkCaps() {
        note();
        QVERIFY(discarded && assembled <= DLineAssembler::maxLineLength);
        QVERIFY(unread <= DSimLine::maxUnreadBytes + DSimWrench::floodChunkBytes);
        QVERIFY(queued <= DSimWrench::maxPendingBytes && frame <= DSimWrench::maxFrameLength);
    }
};

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
        QByteArray record;
        connect(&bench.wrench, &DSimWrench::tightened,
                [&record](const QByteArray& line) { record = line; });
        BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});
        PeakWatch watch(bench, qobject_cast<DCmdListen*>(listen.command)->lineBuffer());
        QVERIFY(listen.execute());
        keepTimerShort(listen.timer(1000), 2);

        QVERIFY(watch.flooded(floodBytes, 120000));
        QVERIFY(listen.events.isEmpty());
        bench.wrench.tighten();
        QVERIFY(runUntil([&] { return listen.events.size() == 1; }, 10000));
        watch.checkCaps();
        const QVariantMap event = listen.events[0].toMap();
        QCOMPARE(event,
                 DTighteningRecord::eventData(record, event.value("eventCountNo").toInt(), 0));
        QVERIFY(listen.finish());
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }

    // A run whose answer is glued to the flood cannot see it: it fails when
    // its answer timer runs out, and never reports success it did not get. The
    // same run after the flood succeeds. (The screen lock shares the lock's
    // line handling.)
    void runsDuringAndAfterTheFlood_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("failure");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("lock") << "setLock" << QStringList{"failed=true", "doneOk=false"}
                              << QStringList{"doneOk=true", "failed=false"};
        QTest::newRow("program") << "setProgram" << QStringList{"cmd_success=false", "failed=true"}
                                 << QStringList{"cmd_success=true", "failed=false"};
    }

    void runsDuringAndAfterTheFlood() {
        QFETCH(QString, command);
        const qint64 floodBytes = qint64(8) << 20; // well above every cap along the line, and quick
        SimBench bench("flood");
        bench.wrench.setFloodBytes(floodBytes);
        const QVariantMap arguments{{"serialId", "W1"}, {"lock", true}, {"program", 3}};

        BenchRun during(bench.plugin, command, arguments);
        auto* program = qobject_cast<DCmdSetProgram*>(during.command);
        PeakWatch watch(bench, program ? program->lineBuffer()
                                       : qobject_cast<DCmdLockBase*>(during.command)->lineBuffer());
        QVERIFY(during.execute());
        QTimer* answer = during.timer(3000);
        QVERIFY(answer && watch.flooded(floodBytes, 60000));
        if (answer->isActive()) {
            answer->start(1);
        }
        QTRY_VERIFY(during.outcome());
        QTEST(during.updates, "failure");
        watch.checkCaps();
        QVERIFY(during.finish() && !answer->isActive());

        BenchRun after(bench.plugin, command, arguments);
        QVERIFY(after.execute());
        QTRY_VERIFY(after.outcome());
        QTEST(after.updates, "after");
        after.finish();
        QVERIFY(!after.timer(3000)->isActive());
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstFlood)
#include "tst_flood.moc"
