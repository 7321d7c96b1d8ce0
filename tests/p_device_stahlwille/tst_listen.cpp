#include <d_cmd_listen.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QtTest>

using Frames = QList<QByteArray>;
using Replies = QList<QVariantMap>;

namespace {

QByteArray record(const QByteArray& timestamp, int fieldCount = 15) {
    QList<QByteArray> fields{"7",  "1234", "1200",    "60", "40",    "455",   "900", "50",
                             "30", "x",    timestamp, "ok", "Track", "Click", "NM"};
    while (fields.size() < fieldCount) {
        fields.append("extra");
    }
    return fields.mid(0, fieldCount).join(',') + '\r';
}

// The plug-in with its catalogue, bound to a scripted driver, and one run of
// the listen command.
struct Bench {
    PDeviceStahlwille plugin;
    PScriptedDriver driver;
    QSharedPointer<ICommand> run;
    DCmdListen* command = nullptr;
    QByteArray prefix;
    QList<QVariantMap> published;
    QPointer<QTimer> inactivityTimer;
    QPointer<QTimer> pollTimer;

    explicit Bench(const QString& serialId = "W1")
        : prefix(serialId.toUtf8()) {
        plugin.setDriver(&driver);
        plugin.initPluginCommands();
        run = plugin.commandPrototype("listenEventsData")->createCommand({{"serialId", serialId}});
        command = dynamic_cast<DCmdListen*>(run.data());
        QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                         [this](const QString& key, const QVariant& value) {
                             QCOMPARE(key, QString("eventData"));
                             published.append(value.toMap());
                         });
    }

    // Timers in the order they are made: inactivity, then poll.
    bool execute() {
        const bool executed = run->commandExecute();
        const auto timers = command->findChildren<QTimer*>();
        inactivityTimer = timers.value(0);
        pollTimer = timers.value(1);
        return executed;
    }
    void send(const QByteArray& bytes) {
        driver.sendFrame(bytes);
        QCoreApplication::processEvents();
    }
    void reply(const QVariantMap& reply) {
        driver.sendReply(reply);
        QCoreApplication::processEvents();
    }
    // Executed, with the "OK" to the first "CLR" in: polling.
    void poll() {
        execute();
        send(prefix + "OK\r");
    }
    int count(const char* instruction) const { return driver.receivedNames().count(instruction); }
    int written(const char* mnemonic) const {
        return driver.writtenFrames().count(prefix + mnemonic + '\r');
    }
    bool polling() const { return pollTimer->isActive(); }
};

struct LogEntry {
    QtMsgType type;
    QString file;
    int line;
    QString message;
};
QList<LogEntry> logged;

void captureLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    logged.append({type, context.file, context.line, message});
}

QString debugText(const QObject* object) {
    QString text;
    QDebug(&text) << object;
    return text.trimmed();
}

int loggingLine() {
    QFile source(WRENCH_LISTEN_SOURCE);
    source.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = source.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains("WRENCH_LOG_MISSING_FRAME(")) {
            return i + 1;
        }
    }
    return -1;
}

} // namespace

class TstListen : public QObject {
    Q_OBJECT

private slots:
    void executeClearsThenPolls();
    void classifyAfterRecord_data();
    void classifyAfterRecord();
    void recordLines_data();
    void recordLines();
    void tighteningCycle_data();
    void tighteningCycle();
    void replyNumbers_data();
    void replyNumbers();
    void timersPollAndCloseOnSilence();
    void presetNo_data();
    void presetNo();
    void noPresetNoWithoutThePlugin();
    void finishStopsPollingAndDeletesInactivityTimer();
    void refusedRunSendsNothing();
    void missingFrameLogLine();
};

void TstListen::executeClearsThenPolls() {
    Bench bench;
    QVERIFY(bench.execute());
    const auto received = bench.driver.received();
    QCOMPARE(bench.driver.receivedNames(), QStringList({"listenEventsData", "write"}));
    QCOMPARE(received[0].arguments, QVariantMap());
    QCOMPARE(received[0].timeout, 2000);
    QCOMPARE(received[1].arguments, QVariantMap({{"frame", QByteArray("W1CLR\r")}}));
    QCOMPARE(received[1].timeout, 2000);

    QCOMPARE(bench.command->findChildren<QTimer*>().size(), 2);
    QCOMPARE(bench.inactivityTimer->interval(), 5000);
    QVERIFY(bench.inactivityTimer->isSingleShot());
    QVERIFY(bench.inactivityTimer->isActive());
    QCOMPARE(bench.pollTimer->interval(), 1000);
    QVERIFY(!bench.pollTimer->isSingleShot());
    QVERIFY(bench.pollTimer->isActive());

    // The "OK" to that "CLR" arrives while polling: it only clears the flag.
    bench.send("W1OK\r");
    QCOMPARE(bench.written("CLR"), 1);
    QVERIFY(bench.polling());
}

// Each line arrives right after a record was published, polling stopped and
// "CLR" written.
void TstListen::classifyAfterRecord_data() {
    QTest::addColumn<QString>("serialId");
    QTest::addColumn<Frames>("replies");
    QTest::addColumn<int>("clears");
    QTest::addColumn<bool>("polling");

    QTest::newRow("OK clears again") << "W1" << Frames{"W1OK\r"} << 1 << false;
    QTest::newRow("OK split over replies") << "W1" << Frames{"W1O", "K\r"} << 1 << false;
    QTest::newRow("CR LF is one line") << "W1" << Frames{"W1OK\r\n"} << 1 << false;
    QTest::newRow("two OKs in one reply") << "W1" << Frames{"W1OK\r\nW1OK\r"} << 2 << false;
    QTest::newRow("no new saved resumes polling")
        << "W1" << Frames{"W1no new saved\r"} << 0 << true;
    QTest::newRow("None Saved resumes polling") << "W1" << Frames{"W1None Saved\r"} << 0 << true;
    QTest::newRow("? resumes polling") << "W1" << Frames{"W1?\r"} << 0 << true;
    QTest::newRow("no line end yet") << "W1" << Frames{"W1OK"} << 0 << false;
    for (const char* other :
         {"W1 OK\r", "W1ok\r", "w1OK\r", "W2OK\r", "OK\r", "W1OK \r", "W1NONE SAVED\r", "W1??\r"}) {
        QTest::newRow(other) << "W1" << Frames{other} << 0 << false;
    }
    QTest::newRow("new record before OK") << "W1" << Frames{record("200")} << 0 << false;
    QTest::newRow("bare OK, empty serial ID") << "" << Frames{"OK\r"} << 1 << false;
    QTest::newRow("bare ?, empty serial ID") << "" << Frames{"?\r"} << 0 << true;
    QTest::newRow("prefixed OK, empty serial ID") << "" << Frames{"W1OK\r"} << 0 << false;
}

void TstListen::classifyAfterRecord() {
    QFETCH(QString, serialId);
    QFETCH(Frames, replies);
    QFETCH(int, clears);
    QFETCH(bool, polling);

    Bench bench(serialId);
    bench.poll();
    bench.send(record("100"));
    QCOMPARE(bench.published.size(), 1);
    QCOMPARE(bench.written("CLR"), 2);
    QVERIFY(!bench.polling());

    for (const auto& reply : replies) {
        bench.send(reply);
    }
    QCOMPARE(bench.written("CLR") - 2, clears);
    QCOMPARE(bench.polling(), polling);
    QCOMPARE(bench.published.size(), 1);
}

// Lines arriving while polling, with the first "CLR" acknowledged.
void TstListen::recordLines_data() {
    QTest::addColumn<Frames>("replies");
    QTest::addColumn<int>("published");
    QTest::addColumn<int>("clears");

    const QByteArray rec100 = record("100");
    const QByteArray nothing = "W1None Saved\r";
    QTest::newRow("14 commas") << Frames{rec100} << 1 << 1;
    QTest::newRow("13 commas") << Frames{record("100", 14)} << 0 << 0;
    QTest::newRow("20 fields") << Frames{record("100", 20)} << 1 << 1;
    QTest::newRow("split over replies") << Frames{rec100.left(9), rec100.mid(9)} << 1 << 1;
    QTest::newRow("repeat is published once") << Frames{rec100, nothing, rec100} << 1 << 1;
    QTest::newRow("next record after a clear") << Frames{rec100, nothing, record("101")} << 2 << 2;
    QTest::newRow("empty timestamp before any record") << Frames{record("")} << 0 << 0;
    QTest::newRow("empty timestamp after a record")
        << Frames{rec100, nothing, record("")} << 2 << 2;
}

void TstListen::recordLines() {
    QFETCH(Frames, replies);
    QFETCH(int, published);
    QFETCH(int, clears);

    Bench bench;
    bench.poll();
    for (const auto& reply : replies) {
        bench.send(reply);
    }
    QCOMPARE(bench.published.size(), published);
    QCOMPARE(bench.written("CLR") - 1, clears);
}

void TstListen::tighteningCycle_data() {
    QTest::addColumn<QByteArray>("nothingSaved");
    QTest::newRow("no new saved") << QByteArray("W1no new saved\r");
    QTest::newRow("None Saved") << QByteArray("W1None Saved\r");
    QTest::newRow("?") << QByteArray("W1?\r");
}

void TstListen::tighteningCycle() {
    QFETCH(QByteArray, nothingSaved);
    Bench bench;
    bench.poll();
    bench.send("W1no new saved\r");
    QVERIFY(bench.polling());
    QCOMPARE(bench.written("CLR"), 1);

    bench.send(record("100")); // reply number 3
    QCOMPARE(bench.published.size(), 1);
    QCOMPARE(bench.published[0].value("timestamp"), QVariant(100));
    QCOMPARE(bench.published[0].value("eventCountNo"), QVariant(3));
    QVERIFY(!bench.polling());
    QCOMPARE(bench.written("CLR"), 2);

    bench.send("W1OK\r");
    bench.send("W1OK\r");
    QCOMPARE(bench.written("CLR"), 4);
    QVERIFY(!bench.polling());

    // While clearing, a "CLR" is always unanswered: a repeat is dropped.
    bench.send(record("100"));
    QCOMPARE(bench.written("CLR"), 4);

    bench.send(nothingSaved);
    QVERIFY(bench.polling());
    QCOMPARE(bench.pollTimer->interval(), 1000);

    // That answer was the last "CLR"'s: the next tightening is taken.
    bench.send(record("101"));
    QCOMPARE(bench.published.size(), 2);
    QCOMPARE(bench.written("CLR"), 5);
    QCOMPARE(bench.driver.writtenFrames().size(), 5);
}

void TstListen::replyNumbers_data() {
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QVariantList>("eventCountNos");

    const QByteArray ok = "W1OK\r";
    const QByteArray rec = record("100");
    QTest::newRow("ack then record")
        << Replies{{{"frame", ok}, {"number", 1}}, {{"frame", rec}, {"number", 2}}}
        << QVariantList{2};
    QTest::newRow("first reply numbered 0")
        << Replies{{{"frame", ok}, {"number", 0}}, {{"frame", rec}, {"number", 2}}}
        << QVariantList{};
    QTest::newRow("first reply unnumbered")
        << Replies{{{"frame", ok}}, {{"frame", rec}, {"number", 2}}} << QVariantList{};
    QTest::newRow("same number twice")
        << Replies{{{"frame", ok}, {"number", 1}}, {{"frame", rec}, {"number", 1}}}
        << QVariantList{};
    QTest::newRow("only the last number counts")
        << Replies{{{"frame", ok}, {"number", 1}},
                   {{"frame", "W1no new saved\r"}, {"number", 2}},
                   {{"frame", rec}, {"number", 1}}}
        << QVariantList{1};
    QTest::newRow("reply without frame keeps its number")
        << Replies{{{"frame", ok}, {"number", 1}}, {{"number", 2}}, {{"frame", rec}, {"number", 2}}}
        << QVariantList{};
}

void TstListen::replyNumbers() {
    QFETCH(Replies, replies);
    QFETCH(QVariantList, eventCountNos);

    Bench bench;
    bench.execute();
    for (const auto& reply : replies) {
        if (!reply.contains("frame")) {
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("replyData contains no frame"));
        }
        bench.reply(reply);
    }
    QVariantList published;
    for (const auto& data : bench.published) {
        published.append(data.value("eventCountNo"));
    }
    QCOMPARE(published, eventCountNos);
}

void TstListen::timersPollAndCloseOnSilence() {
    Bench bench;
    bench.execute();
    bench.pollTimer->start(1);
    QTRY_VERIFY(bench.written("GDS") >= 1);
    bench.pollTimer->start(DCmdListen::pollIntervalMs);
    const auto received = bench.driver.received();
    QCOMPARE(received.last().arguments, QVariantMap({{"frame", QByteArray("W1GDS\r")}}));
    QCOMPARE(received.last().timeout, 2000);

    bench.inactivityTimer->start(1);
    QTRY_COMPARE(bench.count("closeConnection"), 1);
    QCOMPARE(bench.driver.received().last().arguments, QVariantMap());
    QCOMPARE(bench.driver.received().last().timeout, 2000);
    QVERIFY(!bench.inactivityTimer->isActive());
    QVERIFY(bench.polling());

    bench.reply({{"frame", "W1OK\r"}, {"number", 0}}); // ignored: number 0 is the last one
    QVERIFY(!bench.inactivityTimer->isActive());
    bench.send("W1OK\r");
    QVERIFY(bench.inactivityTimer->isActive());
    QCOMPARE(bench.inactivityTimer->interval(), 5000);
    QCOMPARE(bench.count("closeConnection"), 1);
}

void TstListen::presetNo_data() {
    QTest::addColumn<QVariant>("property");
    QTest::addColumn<QVariant>("presetNo");
    QTest::newRow("set") << QVariant(7u) << QVariant(7);
    QTest::newRow("never set") << QVariant() << QVariant(0);
    QTest::newRow("not a number") << QVariant("seven") << QVariant(0);
}

void TstListen::presetNo() {
    QFETCH(QVariant, property);
    QFETCH(QVariant, presetNo);

    Bench bench;
    bench.poll();
    if (property.isValid()) {
        bench.plugin.setProperty("currentProgId", property, true);
    }
    bench.send(record("100"));
    QCOMPARE(bench.published.size(), 1);
    QCOMPARE(bench.published[0].size(), 15);
    QCOMPARE(bench.published[0].value("presetNo"), presetNo);
    QCOMPARE(bench.published[0].value("presetNo").userType(), int(QMetaType::Int));
}

void TstListen::noPresetNoWithoutThePlugin() {
    PScriptedDriver otherPlugin;
    PScriptedDriver driver;
    otherPlugin.setDriver(&driver);
    otherPlugin.setProperty("currentProgId", 7, true);
    DCmdListen command({{"serialId", "W1"}}, &otherPlugin);
    QList<QVariantMap> published;
    connect(
        &command, &DAbstractCommand::sigResultUpdated,
        [&published](const QString&, const QVariant& value) { published.append(value.toMap()); });

    QVERIFY(command.commandExecute());
    driver.sendFrame("W1OK\r");
    QCoreApplication::processEvents();
    driver.sendFrame(record("100"));
    QCoreApplication::processEvents();
    QCOMPARE(published.size(), 1);
    QCOMPARE(published[0].size(), 14);
    QVERIFY(!published[0].contains("presetNo"));
}

void TstListen::finishStopsPollingAndDeletesInactivityTimer() {
    Bench bench;
    bench.poll();
    QCOMPARE(bench.driver.standingListeners().size(), 1);
    const int instructions = bench.driver.received().size();

    bool ok = false;
    bench.run->finishTheCommand(ok);
    QVERIFY(ok);
    QVERIFY(!bench.inactivityTimer);
    QVERIFY(bench.pollTimer);
    QVERIFY(!bench.polling());
    QVERIFY(bench.driver.standingListeners().isEmpty());

    bench.send(record("100"));
    bench.send("W1OK\r");
    QCOMPARE(bench.driver.received().size(), instructions);
    QVERIFY(bench.published.isEmpty());

    bench.run->finishTheCommand(ok);
    QVERIFY(!ok);
}

void TstListen::refusedRunSendsNothing() {
    Bench bench;
    auto* prototype = bench.plugin.commandPrototype("listenEventsData");
    QCOMPARE(prototype, bench.plugin.commandPrototypes().first());
    QVERIFY(!prototype->commandExecute());
    QVERIFY(!prototype->findChild<QTimer*>());
    QVERIFY(bench.driver.received().isEmpty());

    bool ok = true;
    bench.run->finishTheCommand(ok);
    QVERIFY(!ok);
}

void TstListen::missingFrameLogLine() {
    Bench bench("");
    bench.execute();
    const quint64 listenId = bench.driver.received().first().id;
    QCOMPARE(bench.driver.writtenFrames(), Frames{"CLR\r"});

    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    bench.reply({{"number", 4}, {"cmd_success", true}});
    qInstallMessageHandler(previous);

    QCOMPARE(logged.size(), 1);
    const LogEntry entry = logged.first();
    const QString path = "plugins/p_device_stahlwille/source/d_cmd_listen.cpp";
    QCOMPARE(entry.type, QtCriticalMsg);
    QCOMPARE(entry.file, path);
    QCOMPARE(entry.line, loggingLine());

    const QStringList items = entry.message.split(" ;\t ");
    QCOMPARE(items.size(), 6);
    QVERIFY2(QRegularExpression(R"(^\n "\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}"$)")
                 .match(items[0])
                 .hasMatch(),
             qPrintable(items[0]));
    QCOMPARE(items[1], "Thread = " + debugText(QThread::currentThread()));
    QCOMPARE(items[2], "This = " + debugText(bench.command));
    QCOMPARE(items[3], path);
    QCOMPARE(items[4], QString::number(loggingLine()));
    QCOMPARE(items[5],
             "ERROR: replyData contains no frame for instructionId = " + QString::number(listenId));
}

QTEST_GUILESS_MAIN(TstListen)
#include "tst_listen.moc"
