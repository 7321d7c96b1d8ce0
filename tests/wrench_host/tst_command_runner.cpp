#include <d_command_runner.h>
#include <d_instruction_router.h>
#include <d_line_reporter.h>
#include <d_line_witness.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>
#include <unistd.h>

#include <QtTest>

#include <cstdio>
#include <memory>

using Steps = QList<QByteArray>;

static QByteArray record(const QByteArray& timestamp) {
    return "7,1234,1200,60,40,455,900,50,30,x," + timestamp + ",ok,Track,Click,NM\r";
}

// What this process writes to stderr while it lives.
struct StderrCapture {
    QTemporaryFile file;
    int saved = (std::fflush(stderr), ::dup(2));
    StderrCapture() { file.open(), ::dup2(file.handle(), 2); }
    ~StderrCapture() { text(); }
    QString text() {
        if (saved >= 0) {
            std::fflush(stderr), ::dup2(saved, 2), ::close(saved), saved = -1;
        }
        return file.seek(0), QString::fromUtf8(file.readAll());
    }
};

// One run of a plug-in command through the runner, with a scripted driver in
// place of the wrench.
class TstCommandRunner : public QObject {
    Q_OBJECT

private slots:
    // A request, then what happens ("expire": the command's 3000 ms answer
    // timer runs out; "limit": the runner's time limit; "interrupt": Ctrl-C;
    // anything else: bytes from the wrench); why the run did not succeed ("" for
    // success), as the line showed it, and what it had recorded by then, declared
    // defaults included. A lost port is the host test's.
    void endOfRun_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<int>("count");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QVariantMap>("results");
        const auto row = [](const char* name, const char* command, const QVariantMap& arguments,
                            const Steps& steps, const QByteArray& failure,
                            const QVariantMap& results, int count = 0) {
            QTest::newRow(name) << QString(command) << arguments << count << steps
                                << QString::fromUtf8(failure) << results;
        };
        const QVariantMap lock{{"serialId", "W1"}, {"lock", true}};
        const QVariantMap failed{{"doneOk", false}, {"failed", true}};
        const QVariantMap unanswered{{"doneOk", false}, {"failed", false}};
        const QString check = " (check the serial ID, the baud rate and the cable)";
        const QByteArray noAnswer = ("failed: no answer from W1 within 3000 ms" + check).toUtf8();

        row("other lines do not end it", "setLock", lock, {"W1?\r", "W2OK\r", "W1O", "K\r"}, "",
            {{"doneOk", true}, {"failed", false}});
        // The handler records "failed" and then "doneOk": both land before
        // the end, a late OK after it.
        row("late OK after the end is not seen", "setLock", lock, {"expire", "W1OK\r"}, noAnswer,
            failed);
        row("refused: the last answer is named", "setLock", lock,
            {"W2OK\r", "W1?\r", "W1", "x\x01\r", "W3?\r", "expire"},
            "failed: the wrench answered \"W1x\\x01\"", failed);
        row("answer cut to its length", "setLock", lock,
            {"W1" + QByteArray(300, 'a') + "\r", "expire"},
            "failed: the wrench answered \"W1" + QByteArray(254, 'a') + "...\"", failed);
        row("five tries unanswered", "checkConnectionWithSerial", {{"serialId", "W1"}},
            {"expire", "expire", "expire", "expire", "expire"},
            ("failed: no answer from W1 to 5 tries within 3000 ms each" + check).toUtf8(), failed);
        row("program confirmed", "setProgram", {{"serialId", "W1"}, {"program", 3}},
            {"W1ParseOK 3\r"}, "", {{"cmd_success", true}, {"failed", false}});
        row("program without preset", "setProgram", {{"program", 9}}, {},
            "failed: nothing was written: preset 9 is not in the presets",
            {{"cmd_success", false}, {"failed", true}});
        row("program that makes no frame", "setProgram", {{"program", 5}}, {},
            "failed: nothing was written: preset 5 is not valid (it needs a positive \"angle\" "
            "or \"targetTorque\", every value a number the frame can carry)",
            {{"cmd_success", false}, {"failed", true}});
        row("interrupted run fails", "setLock", lock, {"interrupt"}, "interrupted", unanswered);
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

        PDeviceStahlwille plugin;
        PScriptedDriver driver;
        plugin.setDriver(&driver);
        plugin.setConfiguration({{"presets", QVariantMap{{"3", QVariantMap{{"targetTorque", 1}}},
                                                         {"5", QVariantMap{{"name", "none"}}}}}});
        plugin.initPluginCommands();
        DCommandRunner runner(&plugin);
        // Fed as the driver's signals feed it in the host.
        DLineWitness witness("/dev/ttyS9");
        runner.setWitness(&witness);
        QObject::connect(
            &runner, &DCommandRunner::sigStarted, &runner,
            [&](const QString& name, const QString& serialId) { witness.begin(name, serialId); });
        QObject::connect(
            &DInstructionRouter::instance(), &DInstructionRouter::sigInstructionAdded, &runner,
            [&](quint64, DAbstractPlugin*, const QString& name, const QVariantMap& sent) {
                if (name == "write") {
                    witness.noteWritten(sent.value("frame").toByteArray());
                }
            });
        // A runner used again starts clean: a failed run goes first.
        runner.start({DRunRequest::Kind::Run, "setProgram", {{"program", 9}}, 0}, 20000);
        QTRY_VERIFY(!runner.isRunning() && !runner.failure().isEmpty());
        QSignalSpy ended(&runner, &DCommandRunner::sigEnded);
        const auto kind =
            command == "listenEventsData" ? DRunRequest::Kind::Listen : DRunRequest::Kind::Run;
        runner.start({kind, command, arguments, count}, 20000);

        auto* limit = runner.findChild<QTimer*>();
        QVERIFY(limit && limit->isSingleShot() && limit->isActive() && limit->interval() == 20000);
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
                witness.noteRead(step);
                driver.sendFrame(step);
                QCoreApplication::processEvents();
            }
        }
        QVERIFY(!ended.isEmpty() || ended.wait(2000));
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.first().first().toBool(), failure.isEmpty());
        QCOMPARE(runner.ok(), failure.isEmpty());
        QCOMPARE(runner.failure(), failure);
        QVERIFY(!runner.isRunning() && !limit->isActive());

        QVariantMap recorded = runner.results();
        if (recorded.contains("eventData")) { // the record's timestamp stands for it
            recorded["eventData"] = recorded["eventData"].toMap().value("timestamp");
        }
        QCOMPARE(recorded, results);
        // Finished and dropped: no listener stands, only the nine prototypes live.
        QVERIFY(driver.standingListeners().isEmpty());
        QCOMPARE(plugin.findChildren<DAbstractCommand*>().size(), 9);
    }

    // What the line reporter says on stderr, step by step: "start COMMAND",
    // "end", "write BYTES", "read BYTES", "lost MESSAGE", "open", "silence"
    // or "limit" (that timer runs out); "(T)" stands for a time stamp, "N"
    // for seconds. Also how often it gave up on the port.
    void lineReporter_data() {
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("gaveUp");
        const auto row = [](const char* name, bool quiet, const QString& steps, const QString& said,
                            int gaveUp = 0) {
            QTest::newRow(name) << quiet << steps.split(',') << said << gaveUp;
        };
        const QString check = "start checkConnectionWithSerial,";
        const QString tries = check + "write W1BAT\r,write W1BAT\r,write W1BAT\r";
        row("tries", false, tries,
            "wrench_host: W1BAT, try 2 of 5\nwrench_host: W1BAT, try 3 of 5\n");
        row("tries, quiet", true, tries, "");
        row("other frames are no tries", false, check + "write W1BAT\r,write W1GDS\r,write W1BAT\r",
            "");
        row("a listen repeats its polls", false,
            "start listenEventsData,write W1GDS\r,write W1GDS\r", "");
        const QString lost = "lost serial port /dev/ttyS9 is gone,";
        const QString gone = "wrench_host: (T) serial port /dev/ttyS9 is gone; trying again\n";
        // Back in time: the limit's timer stops. Away too long: the host test's lost port.
        row("lost once, back once, even quiet", true,
            check + lost + "lost cannot open,open,open,limit",
            gone + "wrench_host: (T) the port /dev/ttyS9 is back after N s\n");
        row("away between runs: the next run gets the limit", false,
            lost + "limit," + check + "limit", gone, 1);
        QString silent;
        for (const char* seconds : {"10", "20", "40", "10"}) {
            silent += QString("wrench_host: (T) listening: nothing heard from W1 for %1 s (check "
                              "the serial ID, the baud rate and the cable)\n")
                          .arg(seconds);
        }
        row("silence: 10 s, then 20, 40; a read starts it again", false,
            "start listenEventsData,silence,silence,silence,read W1,silence,end,silence", silent);
    }
    void lineReporter() {
        QFETCH(bool, quiet);
        QFETCH(QStringList, steps);
        QFETCH(int, gaveUp);
        DLineReporter reporter("/dev/ttyS9", 300, quiet);
        QSignalSpy gaveUpSpy(&reporter, &DLineReporter::sigGaveUp);
        auto* silence = reporter.findChild<QTimer*>("silenceReport");
        auto* limit = reporter.findChild<QTimer*>("reconnectLimit");
        QVERIFY(silence && silence->isSingleShot() && limit && limit->isSingleShot());
        StderrCapture capture;
        int silentMs = 0; // reported so far; the next report comes after as long again
        for (const QString& step : steps) {
            const QString word = step.section(' ', 0, 0), rest = step.section(' ', 1);
            const QByteArray bytes = rest.toUtf8().replace("\\r", "\r");
            if (word == "start") {
                reporter.onRunStarted(rest, "W1");
            } else if (word == "end") {
                reporter.onRunEnded();
            } else if (word == "write") {
                reporter.onWritten(bytes);
            } else if (word == "read") {
                reporter.onRead(bytes);
                silentMs = 0;
            } else if (word == "lost") {
                reporter.onLineError(rest);
            } else if (word == "open") {
                reporter.onLineOpened();
            }
            QTimer* due = word == "silence" ? silence : word == "limit" ? limit : nullptr;
            if (due && due->isActive()) {
                silentMs +=
                    due == silence ? qMax(silentMs, DLineReporter::firstSilenceReportMs) : 0;
                QSignalSpy fired(due, &QTimer::timeout);
                due->start(1);
                QVERIFY(fired.wait(1000));
            }
            QVERIFY(!silence->isActive() ||
                    silence->interval() == qMax(silentMs, DLineReporter::firstSilenceReportMs));
            QVERIFY(!limit->isActive() || limit->interval() == 300);
        }
        QString said = capture.text();
        said.replace(QRegularExpression(R"(\(\s*\d+\.\d{3}\))"), "(T)");
        said.replace(QRegularExpression(R"(after \d+\.\d s)"), "after N s");
        QTEST(said, "said");
        QCOMPARE(gaveUpSpy.count(), gaveUp);
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
        runner.start({DRunRequest::Kind::Run, "setLock", {}, 0}, 0);
        QVERIFY(ended.wait(2000));
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(runner.failure(), "the plug-in refused to run it");
        QCOMPARE(runner.results(), (QVariantMap{{"doneOk", false}, {"failed", false}}));
        QVERIFY(!runner.findChild<QTimer*>()->isActive());
    }
};

QTEST_GUILESS_MAIN(TstCommandRunner)
#include "tst_command_runner.moc"
