#include "reliability_support.h"

#include <d_instruction_router.h>
#include <d_tightening_record.h>
#include <sim_bench.h>

#include <QElapsedTimer>
#include <QSet>
#include <QtTest>

// What one soak saw.
struct SoakCounts {
    int tightenings = 0;
    int published = 0;
    int duplicates = 0;
    int silences = 0;
    int closes = 0;
    int reopens = 0;
};

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
        SoakCounts counts;
        QList<QByteArray> records;
        connect(&bench.wrench, &DSimWrench::tightened, [&](const QByteArray& record) {
            records.append(record);
            if (records.size() % silenceEvery == 0) {
                ++counts.silences;
                bench.wrench.setSilent(true);
            }
        });
        // A spell ends once the line has been closed for the silence and the
        // next frame has opened it again.
        bool closedForSilence = false;
        connect(&bench.line, &QIODevice::aboutToClose, [&] {
            ++counts.closes;
            closedForSilence = true;
        });
        connect(&bench.driver, &PDriverSerial::sigBytesWritten, [&] {
            if (closedForSilence && bench.line.isOpen()) {
                closedForSilence = false;
                ++counts.reopens;
                bench.wrench.setSilent(false);
            }
        });

        BenchRun program(bench.plugin, "setProgram", {{"serialId", "W1"}, {"program", 3}});
        QVERIFY(program.execute());
        QTRY_VERIFY(program.outcome());
        QCOMPARE(program.updates, QStringList({"cmd_success=true", "failed=false"}));
        program.finish();

        BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});
        QVERIFY(listen.execute());
        QTimer* poll = listen.timer(1000);
        QTimer* inactivity = listen.timer(5000);
        QVERIFY(poll && !poll->isSingleShot());
        QVERIFY(inactivity && inactivity->isSingleShot());
        keepPollingFast(poll, 2);
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
        const qint64 ms = elapsed.elapsed();

        counts.tightenings = records.size();
        counts.published = listen.events.size();
        QSet<int> seen;
        for (const QVariant& event : qAsConst(listen.events)) {
            const int timestamp = event.toMap().value("timestamp").toInt();
            counts.duplicates += seen.contains(timestamp) ? 1 : 0;
            seen.insert(timestamp);
        }
        qInfo("soak: %d tightenings, %d published, %d duplicates, %d silences, %d closes, "
              "%d reopens, %lld ms",
              counts.tightenings, counts.published, counts.duplicates, counts.silences,
              counts.closes, counts.reopens, ms);

        QCOMPARE(counts.published, counts.tightenings);
        QCOMPARE(counts.duplicates, 0);
        QCOMPARE(counts.silences, count / silenceEvery);
        QVERIFY(counts.reopens >= counts.silences);
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
