#include <d_abstract_command.h>
#include <d_abstract_plugin.h>
#include <d_instruction_router.h>
#include <p_scripted_driver.h>

#include <QtTest>

namespace {

DInstructionRouter& router() {
    return DInstructionRouter::instance();
}

DAbstractCommand* asCommand(const QSharedPointer<ICommand>& run) {
    return dynamic_cast<DAbstractCommand*>(run.data());
}

// Lets the queued work of the event loop (replies, and the ends they queue) run.
void drain() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

QWeakPointer<ICommand> g_lastRun; // the last run a test command made
int g_replies = 0;                // replies that reached any TCaller

enum class Kind { Echo, Twice, Silent, Listen, Refusing };

// The test plug-in's commands. "echo" publishes its "value" parameter while it
// executes, "twice" records two results in that same turn, "silent" never
// publishes, "listen" is recurrent and silent, "refusing" refuses to execute.
template <Kind K>
class TCmd : public DAbstractCommand {
public:
    TCmd(const QVariantMap& arguments, QObject* parent)
        : DAbstractCommand(name(), arguments, parent) {
        setRecurrent(K == Kind::Listen);
        declareAParameter("value", "string", "What echo publishes", "declared");
        declareAResult("value", "string", "First result", QVariant());
        declareAResult("second", "int", "Second result", 0);
    }
    static QString name() {
        const char* names[] = {"echo", "twice", "silent", "listen", "refusing"};
        return names[int(K)];
    }
    bool commandExecute() override {
        if (!DAbstractCommand::commandExecute() || K == Kind::Refusing) {
            return false;
        }
        if constexpr (K == Kind::Echo) {
            commandUpdateResult("value", getParameterValue("value", "none"));
        } else if constexpr (K == Kind::Twice) {
            commandUpdateResult("value", "one");
            commandUpdateResult("second", 2);
        }
        return true;
    }
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override {
        auto run = makeRun<TCmd>(arguments);
        g_lastRun = run;
        return run;
    }
};

// A command that sends instructions and records every reply it is handed.
class TCaller : public DAbstractCommand {
public:
    explicit TCaller(QObject* parent)
        : DAbstractCommand("caller", {}, parent) {}
    QSharedPointer<ICommand> createCommand(const QVariantMap&) override { return {}; }

    quint64 send(const QString& target, const QString& name, int timeout = 0,
                 const QVariantMap& arguments = {}) {
        return addInstruction(target, name, arguments, timeout, delegate());
    }
    DReplyDelegate delegate() { return fastdelegate::MakeDelegate(this, &TCaller::onReply); }
    bool onReply(quint64 id, const QVariantMap& reply) {
        ids.append(id);
        replies.append(reply);
        ++g_replies;
        return true;
    }

    QList<quint64> ids;
    QVariantList replies;
};

class TPlugin : public DAbstractPlugin {
public:
    explicit TPlugin(bool servesLine = false)
        : DAbstractPlugin(QUuid::createUuid(), "Test plug-in", IPlugin::Device, 1,
                          QUuid::createUuid(), nullptr, servesLine) {
        initPluginCommands();
    }
    void initPluginCommands() override {
        initAbstractCommands();
        declareInstructionCommand(new TCmd<Kind::Echo>({}, this));
        declareInstructionCommand(new TCmd<Kind::Twice>({}, this));
        declareInstructionCommand(new TCmd<Kind::Silent>({}, this));
        declareInstructionCommand(new TCmd<Kind::Listen>({}, this));
        declareInstructionCommand(new TCmd<Kind::Refusing>({}, this));
    }
    IPlugin* createInstance(const QUuid&) const override { return new TPlugin(servesLine()); }
};

} // namespace

class TstInstructionRouter : public QObject {
    Q_OBJECT

    QPointer<TPlugin> plugin;
    QPointer<PScriptedDriver> driver;
    QPointer<TCaller> caller; // a command of plugin, whose driver is driver

private slots:
    void initTestCase() {
        // Runs first in a fresh process, whatever functions are selected.
        TPlugin first;
        TCaller sender(&first);
        QCOMPARE(sender.send("myself", "silent"), quint64(1));
    }
    void init() {
        plugin = new TPlugin;
        driver = new PScriptedDriver;
        QVERIFY(plugin->setDriver(driver));
        caller = new TCaller(plugin);
        g_replies = 0;
    }
    void cleanup() {
        delete plugin.data();
        delete driver.data();
        drain();
        QCOMPARE(router().instructionCount(), 0);
    }

    void routing_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<QString>("reaches"); // empty when refused
        QTest::addColumn<int>("error");
        const auto row = [](const char* tag, const char* setup, const char* target,
                            const char* instruction, const char* reaches, int error) {
            QTest::newRow(tag) << QString(setup) << QString(target) << QString(instruction)
                               << QString(reaches) << error;
        };
        row("myself", "", "myself", "echo", "plugin", IMessenger::NoError);
        row("driver", "", "driver", "write", "driver", IMessenger::NoError);
        row("line plug-in bound", "bind line plug-in", "driver", "echo", "other",
            IMessenger::NoError);
        row("no-line plug-in refused", "bind device", "driver", "write", "driver",
            IMessenger::NoError);
        row("unknown target", "", "elsewhere", "echo", "", IMessenger::UnknownTarget);
        row("no driver bound", "unbind", "driver", "write", "", IMessenger::UnknownTarget);
        row("driver destroyed", "destroy driver", "driver", "write", "", IMessenger::UnknownTarget);
        row("caller without plug-in", "orphan", "myself", "echo", "", IMessenger::UnknownTarget);
        row("driver has no echo", "", "driver", "echo", "", IMessenger::UnknownInstruction);
        row("myself has no write", "", "myself", "write", "", IMessenger::UnknownInstruction);
        row("run refuses to execute", "", "myself", "refusing", "", IMessenger::Refused);
    }
    void routing() {
        QFETCH(QString, setup);
        QFETCH(QString, target);
        QFETCH(QString, instruction);
        QFETCH(QString, reaches);
        QFETCH(int, error);
        TPlugin other(setup == "bind line plug-in");
        TCaller orphan(nullptr);
        if (setup.startsWith("bind")) {
            QCOMPARE(plugin->setDriver(&other), setup == "bind line plug-in");
        } else if (setup == "unbind") {
            QVERIFY(plugin->setDriver(nullptr));
        } else if (setup == "destroy driver") {
            delete driver.data();
        }
        QObject guard;
        QList<DAbstractPlugin*> added;
        QList<int> errors;
        connect(&router(), &DInstructionRouter::sigInstructionAdded, &guard,
                [&](quint64, DAbstractPlugin* to) { added.append(to); });
        connect(&router(), &DInstructionRouter::sigInstructionRefused, &guard,
                [&](const QString&, const QString&, IMessenger::EnErrorCode e) { errors << e; });
        const int before = router().instructionCount();

        const quint64 id = (setup == "orphan" ? &orphan : caller.data())->send(target, instruction);
        if (reaches.isEmpty()) {
            QCOMPARE(id, quint64(0));
            QCOMPARE(errors, QList<int>{error});
            QCOMPARE(router().instructionCount(), before);
            return;
        }
        QVERIFY(id > 0);
        QVERIFY(errors.isEmpty());
        DAbstractPlugin* expected = reaches == "plugin"   ? plugin.data()
                                    : reaches == "driver" ? static_cast<DAbstractPlugin*>(driver)
                                                          : &other;
        QCOMPARE(added, QList<DAbstractPlugin*>{expected});
        QCOMPARE(driver->receivedNames(),
                 reaches == "driver" ? QStringList{instruction} : QStringList());
    }

    void repliesPerUpdate_data() {
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<QVariantList>("expected");
        QTest::newRow("one update")
            << "echo" << QVariantMap{{"value", "hi"}} << QVariantList{QVariantMap{{"value", "hi"}}};
        QTest::newRow("two updates in one turn")
            << "twice" << QVariantMap()
            << QVariantList{QVariantMap{{"value", "one"}},
                            QVariantMap{{"value", "one"}, {"second", 2}}};
    }
    void repliesPerUpdate() {
        QFETCH(QString, instruction);
        QFETCH(QVariantMap, arguments);
        QFETCH(QVariantList, expected);
        const quint64 id = caller->send("myself", instruction, 0, arguments);
        const QSharedPointer<ICommand> run = g_lastRun.toStrongRef(); // outlives its instruction
        QSignalSpy finished(asCommand(run), &DAbstractCommand::sigCommandFinished);
        QVERIFY(id > 0);
        QVERIFY(caller->replies.isEmpty()); // published while executing, yet queued

        QTRY_VERIFY(!router().isStanding(id)); // a one-shot ends with its first reply's turn
        QCOMPARE(caller->replies, expected);
        QCOMPARE(caller->ids.count(id), expected.size());
        QCOMPARE(finished.count(), 1);

        QVERIFY(asCommand(run)->commandUpdateResult("value", "late"));
        drain();
        QCOMPARE(caller->replies.size(), expected.size());
    }

    void timeouts_data() {
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<bool>("ends");
        QTest::newRow("20 ms") << "silent" << 20 << true;
        QTest::newRow("0 means none") << "silent" << 0 << false;
        QTest::newRow("negative means none") << "silent" << -5 << false;
        QTest::newRow("a standing run ignores it") << "listen" << 20 << false;
    }
    void timeouts() {
        QFETCH(QString, instruction);
        QFETCH(int, timeout);
        QFETCH(bool, ends);
        QElapsedTimer clock;
        qint64 endedAfter = -1;
        quint64 id = 0;
        QObject guard;
        connect(&router(), &DInstructionRouter::sigInstructionEnded, &guard, [&](quint64 ended) {
            if (ended == id) {
                endedAfter = clock.elapsed();
            }
        });
        clock.start();
        id = caller->send("myself", instruction, timeout);
        const QSharedPointer<ICommand> run = g_lastRun.toStrongRef();
        QVERIFY(id > 0);
        if (ends) {
            QTRY_VERIFY(endedAfter >= 0);
            QVERIFY2(endedAfter >= timeout * 9 / 10, qPrintable(QString::number(endedAfter)));
            QVERIFY(asCommand(run)->commandUpdateResult("value", "late"));
            drain();
            QCOMPARE(g_replies, 0);
            return;
        }
        const quint64 reference = caller->send("myself", "silent", 40);
        QTRY_VERIFY(!router().isStanding(reference));
        QVERIFY(router().isStanding(id));
        QVERIFY(asCommand(run)->commandUpdateResult("value", "in time"));
        QTRY_COMPARE(caller->replies, (QVariantList{QVariantMap{{"value", "in time"}}}));
        drain();
        QCOMPARE(router().isStanding(id), instruction == "listen");
    }

    void standingInstruction() {
        const quint64 id = caller->send("driver", "listenEventsData");
        QCOMPARE(driver->standingListeners().size(), 1);
        QSignalSpy finished(driver->standingListeners().first(),
                            &DAbstractCommand::sigCommandFinished);
        driver->sendFrame("a");
        driver->sendFrame("b");
        QTRY_COMPARE(caller->replies.size(), 2);
        driver->sendFrame("c");
        QTRY_COMPARE(caller->replies.size(), 3);
        QCOMPARE(caller->replies.first().toMap().value("frame"), QVariant(QByteArray("a")));
        QCOMPARE(caller->replies.last(),
                 QVariant(QVariantMap{{"frame", QByteArray("c")}, {"number", 3}}));
        QVERIFY(router().isStanding(id));
        QCOMPARE(finished.count(), 0);

        driver->sendFrame("queued before the stop");
        QVERIFY(caller->stopTheInstruction(id));
        QCOMPARE(finished.count(), 1);
        QVERIFY(!router().isStanding(id));
        QVERIFY(driver->standingListeners().isEmpty());
        drain();
        QCOMPARE(caller->replies.size(), 3);
    }

    void identifiersAndStopping() {
        TCaller other(plugin);
        const quint64 listening = caller->send("myself", "listen");
        const quint64 echo = caller->send("myself", "echo");
        drain();
        const quint64 silent = caller->send("myself", "silent");
        QVERIFY(caller->stopTheInstruction(listening));
        const quint64 last = caller->send("myself", "listen");
        QVERIFY(listening > 0);
        QVERIFY(echo > listening);
        QVERIFY(silent > echo);
        QVERIFY(last > silent); // never reused after an end

        QVERIFY(!caller->stopTheInstruction(0));
        QVERIFY(!caller->stopTheInstruction(listening)); // stopped before
        QVERIFY(!caller->stopTheInstruction(echo));      // ended by its reply
        QVERIFY(!caller->stopTheInstruction(last + 1000));
        QVERIFY(!other.stopTheInstruction(last));
        QVERIFY(router().isStanding(last));
        QVERIFY(caller->stopTheInstruction(last));
        QVERIFY(!caller->stopTheInstruction(last));
        QVERIFY(caller->stopTheInstruction(silent));
    }

    void destroyedCaller_data() {
        QTest::addColumn<bool>("command");
        QTest::addColumn<bool>("standing");
        QTest::newRow("command, one-shot") << true << false;
        QTest::newRow("command, standing") << true << true;
        QTest::newRow("plain object, one-shot") << false << false;
        QTest::newRow("plain object, standing") << false << true;
    }
    void destroyedCaller() {
        QFETCH(bool, command);
        QFETCH(bool, standing);
        QObject* key = command ? static_cast<QObject*>(caller.data()) : new QObject;
        const quint64 id = router().addInstruction(key, plugin, standing ? "driver" : "myself",
                                                   standing ? "listenEventsData" : "echo", {}, 0,
                                                   caller->delegate());
        QVERIFY(id > 0);
        if (standing) {
            driver->sendFrame("queued");
        }
        delete key; // a reply is queued and the event loop has not run
        QVERIFY(!router().isStanding(id));
        QVERIFY(driver->standingListeners().isEmpty());
        drain();
        QCOMPARE(g_replies, 0);
        QVERIFY(!router().isStanding(id));
    }

    void destroyedTarget_data() {
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<bool>("frame"); // the driver sends one before its destruction
        QTest::newRow("driver, standing") << "listenEventsData" << false;
        QTest::newRow("driver, reply queued") << "listenEventsData" << true;
        QTest::newRow("own plug-in, silent") << "silent" << false;
        QTest::newRow("own plug-in, reply queued") << "echo" << false;
    }
    void destroyedTarget() {
        QFETCH(QString, instruction);
        QFETCH(bool, frame);
        const bool toDriver = instruction == "listenEventsData";
        const quint64 id = caller->send(toDriver ? "driver" : "myself", instruction);
        QPointer<DAbstractCommand> run =
            toDriver ? driver->standingListeners().value(0) : asCommand(g_lastRun.toStrongRef());
        QVERIFY(run);
        QSignalSpy finished(run.data(), &DAbstractCommand::sigCommandFinished);
        if (frame) {
            driver->sendFrame("queued");
        }
        delete (toDriver ? static_cast<DAbstractPlugin*>(driver) : plugin.data());
        QVERIFY(!router().isStanding(id));
        QCOMPARE(finished.count(), 1);
        QVERIFY(run.isNull()); // deleted once: the sanitizer build checks the "once"
        drain();
        QCOMPARE(g_replies, 0);
    }

    void commandExecute_data() {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("fresh run") << "run" << true;
        QTest::newRow("prototype") << "prototype" << false;
        QTest::newRow("second execution") << "second" << false;
        QTest::newRow("no parent") << "no parent" << false;
        QTest::newRow("parent is no plug-in") << "plain parent" << false;
    }
    void commandExecute() {
        QFETCH(QString, subject);
        QFETCH(bool, accepted);
        DAbstractCommand* prototype = plugin->commandPrototype("silent");
        const QVariantMap arguments{{"value", 7}};
        const QSharedPointer<ICommand> run = prototype->createCommand(arguments);
        QVERIFY(prototype->isPrototype());
        QVERIFY(!asCommand(run)->isPrototype());
        QCOMPARE(asCommand(run)->parent(), plugin.data()); // made with the prototype's parent
        QCOMPARE(run->commandArguments(), arguments);
        QObject notAPlugin;
        TCmd<Kind::Silent> orphan({}, subject == "plain parent" ? &notAPlugin : nullptr);
        ICommand* executed = subject == "prototype"       ? prototype
                             : subject.contains("parent") ? &orphan
                                                          : run.data();
        if (subject == "second") {
            QVERIFY(run->commandExecute());
        }
        QCOMPARE(executed->commandExecute(), accepted);
    }

    void getParameterValue_data() {
        QTest::addColumn<QVariantMap>("arguments");
        QTest::addColumn<QVariantMap>("configuration");
        QTest::addColumn<bool>("inPlugin");
        QTest::addColumn<QVariant>("expected");
        const QVariantMap argument{{"value", "argument"}};
        const QVariantMap configured{{"value", "configured"}};
        QTest::newRow("argument first") << argument << configured << true << QVariant("argument");
        QTest::newRow("then configuration")
            << QVariantMap() << configured << true << QVariant("configured");
        QTest::newRow("then default, not the declared one")
            << QVariantMap() << QVariantMap() << true << QVariant("default");
        QTest::newRow("other names do not count")
            << QVariantMap{{"other", 1}} << QVariantMap{{"other", 2}} << true
            << QVariant("default");
        QTest::newRow("no plug-in") << QVariantMap() << configured << false << QVariant("default");
        QTest::newRow("no plug-in, argument")
            << argument << configured << false << QVariant("argument");
    }
    void getParameterValue() {
        QFETCH(QVariantMap, arguments);
        QFETCH(QVariantMap, configuration);
        QFETCH(bool, inPlugin);
        QFETCH(QVariant, expected);
        plugin->setConfiguration(configuration);
        TCmd<Kind::Echo> run(arguments, inPlugin ? plugin.data() : nullptr);
        QCOMPARE(run.getParameterValue("value", "default"), expected);
    }

    void resultsMustBeDeclared() {
        TCmd<Kind::Silent> run({}, plugin);
        QSignalSpy updated(&run, &DAbstractCommand::sigResultUpdated);
        QVERIFY(!run.commandUpdateResult("undeclared", 1));
        QVERIFY(!run.commandUpdateResults({{"value", "a"}, {"undeclared", 1}}));
        QCOMPARE(updated.count(), 0);
        QVERIFY(run.commandResults().isEmpty());
        QVERIFY(run.commandUpdateResults({{"value", "a"}, {"second", 2}}));
        QCOMPARE(updated.count(), 2);
        QCOMPARE(run.commandResults(), (QVariantMap{{"value", "a"}, {"second", 2}}));
    }
};

QTEST_GUILESS_MAIN(TstInstructionRouter)
#include "tst_instruction_router.moc"
