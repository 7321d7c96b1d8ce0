#include "sim_bench.h"

#include <d_instruction_router.h>
#include <d_tightening_record.h>

#include <QtTest>

// The arguments of every run: each command reads those it declares.
const QVariantMap arguments{
    {"serialId", "W1"}, {"lock", true}, {"program", 3}, {"parallelListening", true}};

class TstScenarios : public QObject {
    Q_OBJECT

private slots:
    // Every command that waits for the wrench, by name, through the router, the
    // driver and the simulated wrench, with the faults it has to get through.
    void commandAgainstTheWrench_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("updates");
        const QStringList done{"doneOk=true", "failed=false"};
        for (const QString faults : {"", "split", "crlf", "garbage", "split,crlf,garbage"}) {
            for (const QString command :
                 {"checkConnectionWithSerial", "setLock", "setScreenLock", "setProgram"}) {
                QTest::addRow("%s, %s", qPrintable(command), qPrintable(faults))
                    << faults << command
                    << (command == "setProgram" ? QStringList{"cmd_success=true", "failed=false"}
                                                : done);
            }
        }
        QTest::newRow("setInitConfig") << QString() << QString("setInitConfig") << done;
    }

    void commandAgainstTheWrench() {
        QFETCH(QString, faults);
        QFETCH(QString, command);
        SimBench bench(faults);
        BenchRun run(bench.plugin, command, arguments);
        QVERIFY(run.execute());
        QTRY_VERIFY(run.outcome());
        QTEST(run.updates, "updates");
        run.finish();
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }

    // What the wrench and the driver were told to do, and did.
    void whatTheWrenchAndTheDriverWereToldToDo() {
        SimBench bench("split");
        runToOutcome(bench.plugin, "setLock", arguments);
        runToOutcome(bench.plugin, "setScreenLock", arguments);
        runToOutcome(bench.plugin, "setProgram", arguments);
        QVERIFY(bench.wrench.isLocked() && bench.wrench.isScreenLocked());
        QCOMPARE(bench.wrench.program(),
                 QByteArray("STA,0012500,+0000500,-0000500,0005000,0300,+0025,-0025"));
        runToOutcome(bench.plugin, "setLock", {{"serialId", "W1"}, {"lock", false}});
        QVERIFY(!bench.wrench.isLocked());
        runToOutcome(bench.plugin, "setParallelListening", arguments);
        QVERIFY(bench.driver.parallelListening());
        runToOutcome(
            bench.plugin, "setKeepAliveFonction",
            {{"serialId", "W1"}, {"frame", "BAT\r"}, {"responseFrame", "?"}, {"timeout", 4000}});
        QCOMPARE(bench.driver.keepAliveFrame(), QByteArray("W1BAT\r"));
        QCOMPARE(bench.driver.keepAliveInterval(), 4000);
    }

    // A wrench that refuses or never answers fails the command when its answer
    // timer expires; nothing is left standing.
    void unansweredCommandsFail_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("expiries");
        QTest::addColumn<QStringList>("updates");
        const auto row = [](const char* faults, const char* command, int expiries,
                            const QStringList& updates) {
            QTest::addRow("%s, %s", command, faults)
                << QString(faults) << QString(command) << expiries << updates;
        };
        // The screen lock shares the lock's answer handling.
        row("refuse", "setLock", 1, {"failed=true", "doneOk=false"});
        row("silent", "setLock", 1, {"failed=true", "doneOk=false"});
        row("refuse", "setProgram", 1, {"cmd_success=false", "failed=true"});
        row("silent", "checkConnectionWithSerial", 5, {"failed=true"});
    }

    void unansweredCommandsFail() {
        QFETCH(QString, faults);
        QFETCH(QString, command);
        QFETCH(int, expiries);
        const bool answered = faults == "refuse";
        SimBench bench(faults);
        BenchRun run(bench.plugin, command, arguments);
        QVERIFY(run.execute());
        for (int expiry = 0; expiry < expiries; ++expiry) {
            // The frame has reached the wrench, and its refusal has come back.
            QTRY_VERIFY(bench.framesWritten > expiry);
            QTRY_VERIFY(!answered || bench.chunksRead > expiry);
            QVERIFY(!run.outcome());
            QTimer* answer = run.timer(3000);
            QVERIFY(answer);
            answer->start(1);
        }
        QTRY_VERIFY(run.outcome());
        QTEST(run.updates, "updates");
        run.finish();
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }

    // Every tightening reaches the host once, in order, with its values, on a
    // wrench with the faults a listen must survive; one that never lets go of
    // a record keeps it and every one after it.
    void tighteningsArePublishedOnceInOrder_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("published");
        QTest::addColumn<int>("held");
        QTest::newRow("cleared") << "" << 3 << 0;
        QTest::newRow("refused clears") << "refuseclear=2" << 3 << 0;
        QTest::newRow("a clock that stands still") << "sametime" << 3 << 0;
        QTest::newRow("delivered to a session that died") << "delivered" << 4 << 0;
        QTest::newRow("foreign and damaged lines") << "foreign,damaged,repeat" << 3 << 0;
        QTest::newRow("never cleared") << "refuseclear" << 1 << 3;
    }

    void tighteningsArePublishedOnceInOrder() {
        QFETCH(QString, faults);
        QFETCH(int, published);
        QFETCH(int, held);
        SimBench bench(faults);
        runToOutcome(bench.plugin, "setProgram", arguments);
        bench.wrench.tighten(); // saved before anyone listens
        BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});
        QVERIFY(listen.execute());
        QTimer* poll = listen.timer(1000);
        QVERIFY(poll && !poll->isSingleShot());
        keepTimerShort(poll);
        bench.wrench.tighten();
        bench.wrench.tighten();
        const QList<QByteArray> records = bench.wrench.createdRecords();
        QTRY_COMPARE(listen.events.size(), published);
        QTRY_COMPARE(bench.wrench.savedRecordCount(), held);
        const int polled = bench.framesWritten;
        QTRY_VERIFY(bench.framesWritten > polled + 8); // a few more polls, nothing new
        QCOMPARE(listen.events.size(), published);
        for (int i = 0; i < published; ++i) {
            QVariantMap event = listen.events[i].toMap();
            QCOMPARE(event, DTighteningRecord::eventData(records[i],
                                                         event.value("eventCountNo").toInt(), 3));
        }
        QVERIFY(listen.finish());
        QTRY_COMPARE(DInstructionRouter::instance().instructionCount(), 0);
    }

    // The same exchange over a real serial port: the wrench program on a
    // pseudo-terminal.
    void serialPortToTheWrenchProgram() {
        QProcess simulator;
        simulator.start(WRENCH_SIM_PROGRAM,
                        {"--pty", "--sim-tightenings", "1", "--sim-every", "50"});
        // The program names its pseudo-terminal on its first line.
        const QString port = simulator.waitForReadyRead(5000)
                                 ? QString::fromUtf8(simulator.readLine().trimmed())
                                 : QString();
        if (port.isEmpty()) {
            QSKIP("no pseudo-terminal here");
        }
        auto stop = qScopeGuard([&simulator] {
            simulator.terminate();
            simulator.waitForFinished(5000);
        });

        PDriverSerial driver;
        driver.initPluginCommands();
        driver.setConfiguration({{"portName", port}, {"baudRate", 115200}});
        QString error;
        QVERIFY2(driver.openLine(&error), qPrintable(error));
        PDeviceStahlwille plugin;
        plugin.initPluginCommands();
        plugin.setDriver(&driver);

        runToOutcome(plugin, "setLock", arguments);

        BenchRun listen(plugin, "listenEventsData", {{"serialId", "W1"}});
        QVERIFY(listen.execute());
        keepTimerShort(listen.timer(1000));
        QTRY_COMPARE(listen.events.size(), 1);
        QVERIFY(listen.events[0].toMap().contains("convertedTorque"));
        QVERIFY(listen.finish());
    }
};

QTEST_GUILESS_MAIN(TstScenarios)
#include "tst_scenarios.moc"
