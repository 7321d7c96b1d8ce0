#include "sim_bench.h"

#include <d_instruction_router.h>

#include <QtTest>

class TstScenarios : public QObject {
    Q_OBJECT

private slots:
    // Every command that waits for the wrench, by name, through the router, the
    // driver and the simulated wrench, with the faults it has to get through.
    void commandAgainstTheWrench_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<QStringList>("updates");

        const QStringList done{"doneOk=true", "failed=false"};
        const QStringList success{"cmd_success=true", "failed=false"};
        const QVariantMap lock{{"serialId", "W1"}, {"lock", true}};
        const QVariantMap program{{"serialId", "W1"}, {"program", 3}};
        for (const QString faults : {"", "split", "crlf", "garbage", "split,crlf,garbage"}) {
            const QString tag = faults.isEmpty() ? "no fault" : faults;
            QTest::addRow("connection, %s", qPrintable(tag))
                << faults << "checkConnectionWithSerial" << QVariantMap{{"serialId", "W1"}} << done;
            QTest::addRow("lock, %s", qPrintable(tag)) << faults << "setLock" << lock << done;
            QTest::addRow("screen lock, %s", qPrintable(tag))
                << faults << "setScreenLock" << lock << done;
            QTest::addRow("program, %s", qPrintable(tag))
                << faults << "setProgram" << program << success;
        }
        QTest::newRow("init config") << ""
                                     << "setInitConfig" << QVariantMap{{"serialId", "W1"}} << done;
    }

    void commandAgainstTheWrench() {
        QFETCH(QString, faults);
        QFETCH(QString, command);
        QFETCH(QVariantMap, arguments);
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
        runToOutcome(bench, "setLock", {{"serialId", "W1"}, {"lock", true}});
        runToOutcome(bench, "setScreenLock", {{"serialId", "W1"}, {"lock", true}});
        runToOutcome(bench, "setProgram", {{"serialId", "W1"}, {"program", 3}});
        QVERIFY(bench.wrench.isLocked() && bench.wrench.isScreenLocked());
        QCOMPARE(bench.wrench.program(),
                 QByteArray("STA,0012500,+0000500,-0000500,0005000,0300,+0025,-0025"));
        runToOutcome(bench, "setLock", {{"serialId", "W1"}, {"lock", false}});
        QVERIFY(!bench.wrench.isLocked());
        runToOutcome(bench, "setParallelListening",
                     {{"serialId", "W1"}, {"parallelListening", true}});
        QVERIFY(bench.driver.parallelListening());
        runToOutcome(bench, "setKeepAliveFonction",
                     {{"serialId", "W1"},
                      {"frame", QByteArray("BAT\r")},
                      {"responseFrame", QByteArray("?")},
                      {"timeout", 4000}});
        QCOMPARE(bench.driver.keepAliveFrame(), QByteArray("W1BAT\r"));
        QCOMPARE(bench.driver.keepAliveInterval(), 4000);
    }

    // A wrench that refuses or never answers fails the command when its answer
    // timer expires; nothing is left standing.
    void unansweredCommandsFail_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("expiries");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QStringList>("updates");
        const QStringList lockFailed{"failed=true", "doneOk=false"};
        QTest::newRow("lock refused") << "refuse"
                                      << "setLock" << 1 << true << lockFailed;
        QTest::newRow("lock unanswered") << "silent"
                                         << "setLock" << 1 << false << lockFailed;
        QTest::newRow("screen lock refused") << "refuse"
                                             << "setScreenLock" << 1 << true << lockFailed;
        QTest::newRow("program refused")
            << "refuse"
            << "setProgram" << 1 << true << QStringList{"cmd_success=false", "failed=true"};
        QTest::newRow("connection unanswered")
            << "silent"
            << "checkConnectionWithSerial" << 5 << false << QStringList{"failed=true"};
    }

    void unansweredCommandsFail() {
        QFETCH(QString, faults);
        QFETCH(QString, command);
        QFETCH(int, expiries);
        QFETCH(bool, answered);
        SimBench bench(faults);
        BenchRun run(bench.plugin, command, {{"serialId", "W1"}, {"lock", true}, {"program", 3}});
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

    // Every tightening reaches the host once, in order, whatever the line does,
    // and when the wrench refuses the "CLR" of the first one.
    void tighteningsArePublishedOnceInOrder_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<bool>("refusedClear");
        QTest::newRow("no fault") << "" << false;
        QTest::newRow("all the line faults") << "split,crlf,garbage,repeat" << false;
        QTest::newRow("a refused clear") << "" << true;
    }

    void tighteningsArePublishedOnceInOrder() {
        QFETCH(QString, faults);
        QFETCH(bool, refusedClear);
        SimBench bench(faults);
        if (refusedClear) {
            bench.wrench.refuseNextClear();
        }
        QList<QByteArray> records;
        connect(&bench.wrench, &DSimWrench::tightened,
                [&records](const QByteArray& line) { records.append(line); });
        runToOutcome(bench, "setProgram", {{"serialId", "W1"}, {"program", 3}});
        bench.wrench.tighten(); // saved before anyone listens
        BenchRun listen(bench.plugin, "listenEventsData", {{"serialId", "W1"}});
        QVERIFY(listen.execute());
        QTimer* poll = listen.timer(1000);
        QVERIFY(poll && !poll->isSingleShot());
        keepTimerShort(poll);
        bench.wrench.tighten();
        bench.wrench.tighten();
        QTRY_COMPARE(listen.events.size(), 3);
        QTRY_COMPARE(bench.wrench.savedRecordCount(), 0);
        const int polled = bench.framesWritten;
        QTRY_VERIFY(bench.framesWritten > polled + 5); // a few more polls, nothing new
        QCOMPARE(listen.events.size(), 3);
        for (int i = 0; i < records.size(); ++i) {
            const QVariantMap event = listen.events[i].toMap();
            QCOMPARE(event.value("timestamp").toInt(), records[i].split(',').value(10).toInt());
            QCOMPARE(event.value("presetNo"), QVariant(3));
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
        if (!simulator.waitForStarted(5000) || !simulator.waitForReadyRead(5000)) {
            QSKIP("no pseudo-terminal here");
        }
        const QString port = QString::fromUtf8(simulator.readLine().trimmed());
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

        BenchRun lock(plugin, "setLock", {{"serialId", "W1"}, {"lock", true}});
        QVERIFY(lock.execute());
        QTRY_VERIFY(lock.outcome());
        QCOMPARE(lock.updates, QStringList({"doneOk=true", "failed=false"}));
        lock.finish();

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
