#include <d_instruction_router.h>
#include <d_tightening_record.h>
#include <sim_bench.h>

#include <QElapsedTimer>
#include <QtTest>

class TstSoak : public QObject {
    Q_OBJECT

private slots:
    // Tightenings against a wrench whose line splits, doubles and dirties its
    // output, with spells in which it says nothing until the listen command has
    // closed the line and opened it again: each tightening reaches the host
    // once, in order, with the values the wrench saved.
    void everyTighteningOnceInOrder() {
        const int count = countFromEnvironment("WRENCH_SOAK_TIGHTENINGS", 100);
        const int silenceEvery = 25;
        SimBench bench("split,crlf,garbage,repeat");
        int silences = 0, reopens = 0;
        QList<QByteArray> records;
        connect(&bench.wrench, &DSimWrench::tightened, [&](const QByteArray& record) {
            records.append(record);
            // A spell still going on under a loaded machine is not started again.
            if (records.size() % silenceEvery == 0 && !bench.wrench.faults().silent) {
                ++silences;
                bench.wrench.setSilent(true);
            }
        });
        // A spell ends once the line has been closed for the silence and the
        // next frame has opened it again.
        bool closedForSilence = false;
        connect(&bench.line, &QIODevice::aboutToClose, [&] { closedForSilence = true; });
        connect(&bench.driver, &PDriverSerial::sigBytesWritten, [&] {
            if (closedForSilence && bench.line.isOpen()) {
                closedForSilence = false;
                ++reopens;
                bench.wrench.setSilent(false);
            }
        });

        runToOutcome(bench.plugin, "setProgram", {{"serialId", "W1"}, {"program", 3}});

        BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});
        QVERIFY(listen.execute());
        QTimer* poll = listen.timer(1000);
        QTimer* inactivity = listen.timer(5000);
        QVERIFY(poll && inactivity);
        keepTimerShort(poll, 2);
        keepTimerShort(inactivity, 40);

        QElapsedTimer elapsed;
        elapsed.start();
        bench.wrench.startTightenings(count, 5);
        QVERIFY(runUntil(
            [&] {
                return records.size() == count && listen.events.size() >= count &&
                       bench.wrench.savedRecordCount() == 0 && !bench.wrench.faults().silent;
            },
            30000 + count * 100));
        // A few more polls: nothing further is published.
        const int written = bench.framesWritten;
        QVERIFY(runUntil([&] { return bench.framesWritten > written + 5; }, 5000));
        qInfo("soak: %d tightenings, %d published, %d silences, %d reopens, %lld ms",
              int(records.size()), int(listen.events.size()), silences, reopens, elapsed.elapsed());

        // A tightening published twice, or lost, shows in the count or in the order.
        QCOMPARE(listen.events.size(), records.size());
        QVERIFY(silences > 0 && silences <= count / silenceEvery && reopens >= silences);
        for (int i = 0; i < records.size(); ++i) {
            QVariantMap event = listen.events[i].toMap();
            const int eventCountNo = event.value("eventCountNo").toInt();
            QCOMPARE(event, DTighteningRecord::eventData(records[i], eventCountNo, 3));
        }

        QVERIFY(listen.finish());
        QVERIFY(!poll->isActive() && !listen.timer(40) && !listen.timer(5000));
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstSoak)
#include "tst_soak.moc"
