#include <d_command_runner.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QtTest>

#include <memory>

using Steps = QList<QByteArray>;

static QByteArray record(const QByteArray& timestamp) {
    return "7,1234,1200,60,40,455,900,50,30,x," + timestamp + ",ok,Track,Click,NM\r";
}

// One run of a plug-in command through the runner, with a scripted driver in
// place of the wrench.
class TstCommandRunner : public QObject {
    Q_OBJECT

private slots:
    // A request, then what happens ("expire": the command's 3000 ms answer
    // timer runs out; "limit": the runner's time limit; "interrupt": Ctrl-C;
    // anything else: bytes from the wrench); why the run did not succeed (""
    // for success) and what it had recorded by then.
    void endOfRun_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<int>("count");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QVariantMap>("results");
        const auto row = [](const char* name, const char* command, const QVariantMap& arguments,
                            const Steps& steps, const char* failure, const QVariantMap& results,
                            int count = 0) {
            QTest::newRow(name) << QString(command) << arguments << count << steps
                                << QString(failure) << results;
        };
        const QVariantMap lock{{"serialId", "W1"}, {"lock", true}};
        const QVariantMap confirmed{{"doneOk", true}, {"failed", false}};
        const QVariantMap failed{{"doneOk", false}, {"failed", true}};

        row("confirmed", "setLock", lock, {"W1O", "K\r"}, "", confirmed);
        row("other lines do not end it", "setLock", lock, {"W1?\r", "W2OK\r", "W1OK\r"}, "",
            confirmed);
        // The handler records "failed" and then "doneOk": both land first.
        row("answer timer: both results land", "setLock", lock, {"expire"}, "failed", failed);
        row("late OK after the end is not seen", "setLock", lock, {"expire", "W1OK\r"}, "failed",
            failed);
        row("program confirmed", "setProgram", {{"serialId", "W1"}, {"program", 3}},
            {"W1ParseOK 3\r"}, "", {{"cmd_success", true}, {"failed", false}});
        row("program without preset", "setProgram", {{"program", 9}}, {}, "failed",
            {{"cmd_success", false}, {"failed", true}});
        // No "failed" declared: "cmd_success" false is the end, with "presetData" too.
        row("preset not found", "getPresetData", {{"program", 9}}, {}, "failed",
            {{"cmd_success", false}, {"presetData", QVariantMap()}});
        row("time limit", "setLock", lock, {"limit"}, "timed out after 20000 ms", {});
        row("interrupted run fails", "setLock", lock, {"interrupt"}, "interrupted", {});
        row("listen: interrupted is its end", "listenEventsData", {{"serialId", "W1"}},
            {"interrupt"}, "", {});
        row("listen: ends after count", "listenEventsData", {{"serialId", "W1"}},
            {"W1OK\r", record("100"), "W1OK\r", "W1no new saved\r", record("101")}, "",
            {{"eventData", "101"}}, 2);
        row("listen: count not reached at limit", "listenEventsData", {{"serialId", "W1"}},
            {"W1OK\r", record("100"), "limit"}, "timed out after 20000 ms", {{"eventData", "100"}},
            2);
    }
    void endOfRun() {
        QFETCH(QString, command);
        QFETCH(QVariantMap, arguments);
        QFETCH(int, count);
        QFETCH(Steps, steps);
        QFETCH(QString, failure);
        QFETCH(QVariantMap, results);
        const bool ok = failure.isEmpty();

        PDeviceStahlwille plugin;
        PScriptedDriver driver;
        plugin.setDriver(&driver);
        plugin.setConfiguration(
            {{"presets", QVariantMap{{"3", QVariantMap{{"targetTorque", 1}}}}}});
        plugin.initPluginCommands();
        DCommandRunner runner(&plugin);
        QSignalSpy ended(&runner, &DCommandRunner::sigEnded);
        DRunRequest request;
        request.kind =
            command == "listenEventsData" ? DRunRequest::Kind::Listen : DRunRequest::Kind::Run;
        request.command = command;
        request.arguments = arguments;
        request.count = count;
        runner.start(request, 20000);

        auto* limit = runner.findChild<QTimer*>();
        QVERIFY(limit);
        QCOMPARE(limit->interval(), 20000);
        QVERIFY(limit->isSingleShot());
        QVERIFY(limit->isActive() || command == "getPresetData"); // that one ends at once
        QCoreApplication::processEvents(); // the set-program command asks for its preset first
        for (const QByteArray& step : steps) {
            if (step == "expire" || step == "limit") {
                QTimer* timer = step == "limit" ? limit : nullptr;
                for (QTimer* candidate : plugin.findChildren<QTimer*>()) {
                    timer = !timer && candidate->interval() == 3000 ? candidate : timer;
                }
                QVERIFY(timer);
                QSignalSpy fired(timer, &QTimer::timeout);
                timer->start(1);
                QVERIFY(fired.wait(1000));
            } else if (step == "interrupt") {
                runner.interrupt();
            } else {
                driver.sendFrame(step);
                QCoreApplication::processEvents();
            }
        }
        if (ended.isEmpty()) {
            QVERIFY(ended.wait(2000));
        }
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.first().first().toBool(), ok);
        QCOMPARE(runner.ok(), ok);
        QCOMPARE(runner.failure(), failure);
        QVERIFY(!runner.isRunning());
        QVERIFY(!limit->isActive());

        QVariantMap recorded = runner.results();
        if (recorded.contains("eventData")) { // the record's timestamp stands for it
            recorded["eventData"] = recorded["eventData"].toMap().value("timestamp");
        }
        QCOMPARE(recorded.keys(), results.keys());
        for (const QString& key : results.keys()) {
            QCOMPARE(recorded.value(key).toString(), results.value(key).toString());
        }
        // Finished and dropped: no listener stands, only the nine prototypes live.
        QVERIFY(driver.standingListeners().isEmpty());
        QCOMPARE(plugin.findChildren<DAbstractCommand*>().size(), 9);
    }

    // A run that the base class refuses (its command has no plug-in to route
    // through) fails without a finish.
    void refusedRun() {
        PDeviceStahlwille plugin;
        plugin.initPluginCommands();
        // Taken from the plug-in, the prototype makes runs without a parent.
        std::unique_ptr<DAbstractCommand> prototype(plugin.commandPrototype("setLock"));
        prototype->setParent(nullptr);
        DCommandRunner runner(&plugin);
        QSignalSpy ended(&runner, &DCommandRunner::sigEnded);
        DRunRequest request;
        request.command = "setLock";
        runner.start(request, 0);
        QVERIFY(ended.wait(2000));
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(runner.failure(), "the plug-in refused to run it");
        QVERIFY(runner.results().isEmpty());
        QVERIFY(!runner.findChild<QTimer*>()->isActive());
    }
};

QTEST_GUILESS_MAIN(TstCommandRunner)
#include "tst_command_runner.moc"
