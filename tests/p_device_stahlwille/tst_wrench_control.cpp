#include <d_instruction_router.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QtTest>

namespace {

using Replies = QList<QByteArray>;
using ReplyMaps = QList<QVariantMap>;

const QStringList confirmed{"doneOk=true", "failed=false"};
const QStringList timedOut{"failed=true", "doneOk=false"};

// The plug-in with its catalogue, bound to a scripted driver, and one run of
// the named command. Result updates are noted as "key=value"; each instruction
// notes whether the run's answer timer was already running.
struct Bench {
    PDeviceStahlwille plugin;
    PScriptedDriver driver;
    QSharedPointer<ICommand> run;
    DAbstractCommand* command = nullptr;
    QStringList updates;
    QList<bool> timerRanAtInstruction;

    Bench(const QString& name, const QVariantMap& arguments) {
        plugin.setDriver(&driver);
        plugin.initPluginCommands();
        run = plugin.commandPrototype(name)->createCommand(arguments);
        command = dynamic_cast<DAbstractCommand*>(run.data());
        QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                         [this](const QString& key, const QVariant& value) {
                             updates.append(key + '=' + value.toString());
                         });
        QObject::connect(&DInstructionRouter::instance(), &DInstructionRouter::sigInstructionAdded,
                         command,
                         [this] { timerRanAtInstruction.append(timer() && timer()->isActive()); });
    }

    QTimer* timer() const { return command->findChild<QTimer*>(); }
    void sendFrames(const Replies& replies) {
        for (const auto& reply : replies) {
            driver.sendFrame(reply);
            QCoreApplication::processEvents();
        }
    }
};

void addLockCommandColumn() {
    QTest::addColumn<QString>("command");
    QTest::newRow("setLock") << "setLock";
    QTest::newRow("setScreenLock") << "setScreenLock";
}

} // namespace

class TstWrenchControl : public QObject {
    Q_OBJECT

private slots:
    void catalogueOrder();
    void lockFrames_data();
    void lockFrames();
    void lockAnswers_data();
    void lockAnswers();
    void lateAnswerAfterTimeoutWins_data() { addLockCommandColumn(); }
    void lateAnswerAfterTimeoutWins();
    void refusedRunSendsNothing_data();
    void refusedRunSendsNothing();
    void initConfigSwitchesThenResets();
    void driverSettingArguments_data();
    void driverSettingArguments();
    void driverAnswerIsMirrored_data();
    void driverAnswerIsMirrored();
};

void TstWrenchControl::catalogueOrder() {
    PDeviceStahlwille plugin;
    plugin.initPluginCommands();
    QStringList mine;
    for (const QString& name : plugin.commandNames()) {
        if (!QStringList({"listenEventsData", "getPresetData", "setProgram"}).contains(name)) {
            mine.append(name + '/' + plugin.commandPrototype(name)->stopCommandName());
        }
    }
    QCOMPARE(mine, QStringList({"setLock/stopSetLock", "setScreenLock/", "setKeepAliveFonction/",
                                "checkConnectionWithSerial/stopCheck",
                                "setInitConfig/stopInitConfig", "setParallelListening/"}));
}

void TstWrenchControl::lockFrames_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QVariantMap>("arguments");
    QTest::addColumn<QByteArray>("frame");

    const QVariantMap lock{{"serialId", "W1"}, {"lock", true}};
    const QVariantMap unlock{{"serialId", "W1"}, {"lock", false}};
    const QVariantMap missing{{"serialId", "W1"}};
    const QVariantMap bare{{"lock", true}};
    QTest::newRow("lock") << "setLock" << lock << QByteArray("W1LCK\r");
    QTest::newRow("unlock") << "setLock" << unlock << QByteArray("W1UCK\r");
    QTest::newRow("lock missing") << "setLock" << missing << QByteArray("W1UCK\r");
    QTest::newRow("no serial ID") << "setLock" << bare << QByteArray("LCK\r");
    QTest::newRow("screen lock") << "setScreenLock" << lock << QByteArray("W1DKS\r");
    QTest::newRow("screen unlock") << "setScreenLock" << unlock << QByteArray("W1EKS\r");
    QTest::newRow("screen lock missing") << "setScreenLock" << missing << QByteArray("W1EKS\r");
    QTest::newRow("screen, no serial ID") << "setScreenLock" << bare << QByteArray("DKS\r");
}

void TstWrenchControl::lockFrames() {
    QFETCH(QString, command);
    QFETCH(QVariantMap, arguments);
    QFETCH(QByteArray, frame);

    Bench bench(command, arguments);
    QVERIFY(bench.run->commandExecute());

    const auto received = bench.driver.received();
    QCOMPARE(bench.driver.receivedNames(), QStringList({"listenEventsData", "write"}));
    QCOMPARE(received[0].arguments,
             command == "setLock"
                 ? QVariantMap({{"validator", "lock"}})
                 : QVariantMap({{"subscription", true}, {"validator", "screenLock"}}));
    QCOMPARE(received[1].arguments, QVariantMap({{"frame", frame}}));
    QCOMPARE(received[0].timeout, 2000);
    QCOMPARE(received[1].timeout, 2000);
    QCOMPARE(bench.timerRanAtInstruction, QList<bool>({true, true}));
    QCOMPARE(bench.timer()->interval(), 3000);
    QVERIFY(bench.timer()->isSingleShot());
}

void TstWrenchControl::lockAnswers_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("serialId");
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QStringList>("updates");

    struct Row {
        const char* tag;
        QString serialId;
        Replies replies;
        QStringList updates;
    };
    const QList<Row> rows{
        {"split across two replies", "W1", {"W1", "OK\r"}, confirmed},
        {"OK then CR LF", "W1", {"W1OK\r\n"}, confirmed},
        {"blank after OK", "W1", {"W1OK \r"}, {}},
        {"letter after OK", "W1", {"W1OKK\r"}, {}},
        {"serial ID only", "W1", {"W1\r"}, {}},
        {"another wrench", "W1", {"W2OK\r"}, {}},
        {"no serial ID takes bare OK", "", {"OK\r"}, confirmed},
        {"second confirmation", "W1", {"W1OK\rW1OK\r"}, confirmed + confirmed},
    };
    for (const auto& row : rows) {
        for (const char* command : {"setLock", "setScreenLock"}) {
            QTest::addRow("%s: %s", command, row.tag)
                << command << row.serialId << row.replies << row.updates;
        }
    }
}

void TstWrenchControl::lockAnswers() {
    QFETCH(QString, command);
    QFETCH(QString, serialId);
    QFETCH(Replies, replies);
    QFETCH(QStringList, updates);

    Bench bench(command, {{"serialId", serialId}, {"lock", true}});
    bench.run->commandExecute();
    bench.sendFrames(replies);
    bench.driver.sendReply({{"number", 99}}); // no "frame": ignored
    QCoreApplication::processEvents();

    QCOMPARE(bench.updates, updates);
    QCOMPARE(bench.timer()->isActive(), updates.isEmpty());
}

void TstWrenchControl::lateAnswerAfterTimeoutWins() {
    QFETCH(QString, command);

    Bench bench(command, {{"serialId", "W1"}, {"lock", true}});
    bench.run->commandExecute();
    bench.timer()->start(1);
    QTRY_COMPARE(bench.updates, timedOut);

    bench.sendFrames({"W1OK\r"});
    QCOMPARE(bench.updates, timedOut + confirmed);
    QCOMPARE(bench.command->commandResults(), QVariantMap({{"doneOk", true}, {"failed", false}}));

    bool ok = false;
    bench.run->finishTheCommand(ok);
    QVERIFY(ok);
    QVERIFY(bench.driver.standingListeners().isEmpty());
    bench.sendFrames({"W1OK\r"});
    QCOMPARE(bench.updates.size(), 4);
}

void TstWrenchControl::refusedRunSendsNothing_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("finishOfUnstartedRun");

    // Commands that hold a listen instruction release identifier 0 when none
    // was registered; the others keep the framework's own finish.
    QTest::newRow("setLock") << "setLock" << false;
    QTest::newRow("setScreenLock") << "setScreenLock" << false;
    QTest::newRow("setInitConfig") << "setInitConfig" << false;
    QTest::newRow("setParallelListening") << "setParallelListening" << true;
    QTest::newRow("setKeepAliveFonction") << "setKeepAliveFonction" << true;
}

void TstWrenchControl::refusedRunSendsNothing() {
    QFETCH(QString, command);
    QFETCH(bool, finishOfUnstartedRun);

    Bench bench(command, {{"serialId", "W1"}, {"lock", true}});
    DAbstractCommand* prototype = bench.plugin.commandPrototype(command);
    QVERIFY(!prototype->commandExecute());
    QVERIFY(!prototype->findChild<QTimer*>());
    QVERIFY(prototype->commandResults().isEmpty());
    QVERIFY(bench.driver.received().isEmpty());

    bool ok = !finishOfUnstartedRun;
    bench.run->finishTheCommand(ok);
    QCOMPARE(ok, finishOfUnstartedRun);
}

void TstWrenchControl::initConfigSwitchesThenResets() {
    Bench bench("setInitConfig", {{"serialId", "W1"}});
    QList<int> sentAtResult;
    QObject::connect(bench.command, &DAbstractCommand::sigResultUpdated, bench.command,
                     [&] { sentAtResult.append(bench.driver.received().size()); });
    QVERIFY(bench.run->commandExecute());

    // Success is recorded at once, after both instructions, with no wrench.
    QCOMPARE(bench.updates, confirmed);
    QCOMPARE(sentAtResult, QList<int>({2, 2}));
    const auto received = bench.driver.received();
    QCOMPARE(bench.driver.receivedNames(), QStringList({"setParallelListening", "write"}));
    QCOMPARE(received[0].arguments, QVariantMap({{"parallelListening", true}}));
    QCOMPARE(received[1].arguments, QVariantMap({{"frame", QByteArray("W1DEL\r")}}));
    QCOMPARE(received[0].timeout, 2000);
    QCOMPARE(received[1].timeout, 2000);

    bool ok = true;
    bench.run->finishTheCommand(ok);
    QVERIFY(!ok);
}

void TstWrenchControl::driverSettingArguments_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QVariantMap>("arguments");
    QTest::addColumn<QVariantMap>("sent");

    const QByteArray binary("\x02KA\x00\x03", 5);
    QTest::newRow("parallel listening on")
        << "setParallelListening" << QVariantMap{{"serialId", "W1"}, {"parallelListening", true}}
        << QVariantMap{{"parallelListening", true}};
    QTest::newRow("parallel listening missing")
        << "setParallelListening" << QVariantMap() << QVariantMap{{"parallelListening", false}};
    QTest::newRow("keep-alive, serial ID on the frame only")
        << "setKeepAliveFonction"
        << QVariantMap{{"serialId", "W1"},
                       {"frame", binary},
                       {"responseFrame", "W1NAK"},
                       {"timeout", 1500},
                       {"parallelListening", true}}
        << QVariantMap{{"frame", QByteArray("W1") + binary},
                       {"responseFrame", QByteArray("W1NAK")},
                       {"timeout", 1500},
                       {"parallelListening", true}};
    QTest::newRow("keep-alive, no serial ID")
        << "setKeepAliveFonction"
        << QVariantMap{{"frame", binary}, {"responseFrame", "NAK"}, {"timeout", 10}}
        << QVariantMap{{"frame", binary},
                       {"responseFrame", QByteArray("NAK")},
                       {"timeout", 10},
                       {"parallelListening", false}};
}

void TstWrenchControl::driverSettingArguments() {
    QFETCH(QString, command);
    QFETCH(QVariantMap, arguments);
    QFETCH(QVariantMap, sent);

    Bench bench(command, arguments);
    QVERIFY(bench.run->commandExecute());
    QCOMPARE(bench.driver.receivedNames(), QStringList({command}));
    const auto received = bench.driver.received().first();
    QCOMPARE(received.arguments, sent);
    QCOMPARE(received.timeout, 2000);
    for (const char* key : {"frame", "responseFrame"}) {
        QCOMPARE(received.arguments.value(key).userType(), sent.value(key).userType());
    }
}

void TstWrenchControl::driverAnswerIsMirrored_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<ReplyMaps>("replies");
    QTest::addColumn<QStringList>("updates");

    const ReplyMaps falseThenTrue{{{"cmd_success", false}}, {{"cmd_success", true}}};
    const ReplyMaps missingKey{{{"number", 1}}};
    for (const char* command : {"setParallelListening", "setKeepAliveFonction"}) {
        QTest::addRow("%s: false, then true", command)
            << command << falseThenTrue << QStringList({"cmd_success=false", "cmd_success=true"});
        QTest::addRow("%s: key missing", command)
            << command << missingKey << QStringList({"cmd_success=false"});
    }
}

void TstWrenchControl::driverAnswerIsMirrored() {
    QFETCH(QString, command);
    QFETCH(ReplyMaps, replies);
    QFETCH(QStringList, updates);

    Bench bench(command, {{"serialId", "W1"}, {"parallelListening", true}});
    bench.run->commandExecute();
    // Both answers in one event-loop turn, before the driver's run ends.
    for (const auto& reply : replies) {
        bench.driver.received().first().run->answer(reply);
    }
    QTRY_COMPARE(bench.updates, updates);
}

QTEST_GUILESS_MAIN(TstWrenchControl)
#include "tst_wrench_control.moc"
