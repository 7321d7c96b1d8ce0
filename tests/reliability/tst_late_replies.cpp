#include <command_bench.h>
#include <d_instruction_router.h>
#include <sim_bench.h>

#include <QtTest>

#include <algorithm>

namespace {

const QVariantMap presets{{"presets", QVariantMap{{"3", QVariantMap{{"targetTorque", 1}}}}}};
// Field 0 empty: the record's tail after its first byte is a field short, no record.
const QByteArray record = ",1234,1200,60,40,455,900,50,30,x,100,ok,Track,Click,NM\r";

bool timersStopped(const QObject* command) {
    const QList<QTimer*> timers = command->findChildren<QTimer*>();
    return std::none_of(timers.begin(), timers.end(),
                        [](const QTimer* timer) { return timer->isActive(); });
}

} // namespace

class TstLateReplies : public QObject {
    Q_OBJECT

private slots:
    // A reply split around its run's timer: its second half reaches that run
    // while the run stands, and never the next run of the same command. (A
    // reply still on its way when a run ends is the router's to drop; a whole
    // line after the timer is in the tests of each command.)
    void lateReply_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("answer");    // the line that would confirm it
        QTest::addColumn<QStringList>("expired");  // published when its timer runs out
        QTest::addColumn<QStringList>("answered"); // published on the answer
        QTest::addColumn<bool>("nextRun");         // the run is finished between the halves
        const auto command = [](const char* name, const QByteArray& answer,
                                const QStringList& expired, const QStringList& answered) {
            for (const bool nextRun : {false, true}) {
                QTest::addRow("%s, %s run", name, nextRun ? "next" : "same")
                    << QString(name) << answer << expired << answered << nextRun;
            }
        };
        // The screen lock shares the lock's line handling.
        const QStringList done{"doneOk=true", "failed=false"};
        command("checkConnectionWithSerial", "W1 BAT,087\r", {}, done);
        command("setLock", "W1OK\r", {"failed=true", "doneOk=false"}, done);
        command("setProgram", "W1ParseOK\r", {"cmd_success=false", "failed=true"},
                {"cmd_success=true", "failed=false"});
        command("listenEventsData", record, {}, {"eventData="});
    }

    void lateReply() {
        QFETCH(QString, command);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, expired);
        QFETCH(QStringList, answered);
        QFETCH(bool, nextRun);
        const bool listen = command == "listenEventsData";
        const QVariantMap arguments{{"serialId", "W1"}, {"lock", true}, {"program", 3}};

        CommandBench bench(command, arguments, presets);
        // The driver's own runs end at once, so that only the listeners stand.
        for (const char* instruction : {"write", "closeConnection"}) {
            bench.driver.setAutoAnswer(instruction, {{"cmd_success", true}});
        }
        QVERIFY(bench.execute());
        QTRY_COMPARE(bench.driver.standingListeners().size(), 1);
        QTimer* timer = bench.timer(listen ? 5000 : 3000);
        QVERIFY(timer && timer->isActive());
        bench.send({answer.left(1)});
        bench.expire(timer);
        if (nextRun) {
            bench.finish();
        } else {
            bench.send({answer.mid(1)});
        }
        const QStringList expected = nextRun ? expired : expired + answered;
        QCOMPARE(bench.updates, expected);
        QCOMPARE(bench.finish(), !nextRun);
        QVERIFY(timersStopped(bench.command));

        // The next run of the same command on the same plug-in.
        BenchRun next(bench.plugin, command, arguments);
        QVERIFY(next.execute());
        QTRY_COMPARE(bench.driver.standingListeners().size(), 1);
        bench.send({answer.mid(1)});
        QVERIFY(next.updates.isEmpty() && next.events.isEmpty());
        QCOMPARE(bench.updates, expected);
        QVERIFY(next.finish() && timersStopped(next.command));
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TstLateReplies)
#include "tst_late_replies.moc"
