#include <d_abstract_plugin_backend.h>
#include <d_instruction_router.h>
#include <p_scripted_driver.h>
#include <utilities.h>

#include <QtTest>

namespace {

// Lets the queued work of the event loop (replies, and the ends they queue) run.
void drain() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

QWeakPointer<ICommand> g_lastRun;

// Publishes its arguments as one result update; refuses undeclared ones.
class TCmd : public DAbstractCommand {
public:
    TCmd(const QVariantMap& arguments, QObject* parent)
        : DAbstractCommand("echo", arguments, parent) {
        declareAParameter("value", "string", "", "declared");
        declareAParameter("needed", "string", "", {});
        declareAResult("value", "string", "", {});
        declareAResult("number", "int", "", 0);
    }
    bool commandExecute() override {
        const QVariantMap arguments = commandArguments();
        return DAbstractCommand::commandExecute() &&
               (arguments.isEmpty() || commandUpdateResults(arguments));
    }
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override {
        const auto run = makeRun<TCmd>(arguments);
        g_lastRun = run;
        return run;
    }
};

struct TPlugin : DAbstractPlugin {
    explicit TPlugin(const QUuid& uuid = QUuid::createUuid(), bool servesLine = false)
        : DAbstractPlugin(QUuid(), "Test device", Device, 1, uuid, nullptr, servesLine) {
        declareInstructionCommand(new TCmd({}, this));
    }
    void initPluginCommands() override {}
    IPlugin* createInstance(const QUuid& uuid) const override { return new TPlugin(uuid); }
};

struct Recorder {
    virtual ~Recorder() = default;
    virtual bool onReply(quint64 id, const QVariantMap& reply) = 0;
};

} // namespace

class TstHostFramework : public QObject, public Recorder {
    Q_OBJECT

    DInstructionRouter& router = DInstructionRouter::instance();
    const QUuid uuid = QUuid::createUuid();
    QPointer<TPlugin> plugin;
    QPointer<PScriptedDriver> driver;
    QPointer<TCmd> caller; // a command of plugin, whose driver is driver
    QList<quint64> ids;
    QVariantList replies;

    bool onReply(quint64 id, const QVariantMap& r) override {
        return ids << id, replies << r, true;
    }
    // Bound to a second base's method: every reply needs the pointer adjusted and a virtual call.
    const DReplyDelegate recorder = fastdelegate::MakeDelegate(this, &Recorder::onReply);

private slots:
    void initTestCase() { // runs first in a fresh process, whatever functions are selected
        qRegisterMetaType<DAbstractPlugin*>();
        TPlugin first;
        TCmd sender({}, &first);
        QCOMPARE(sender.addInstruction("myself", "echo", {{"value", 1}}, 0, {}), quint64(1));
        drain(); // a reply without a callback is dropped
    }
    void init() {
        plugin = new TPlugin(uuid);
        driver = new PScriptedDriver;
        QVERIFY(plugin->setDriver(driver));
        caller = new TCmd({}, plugin);
        ids.clear();
        replies.clear();
    }
    void cleanup() {
        delete plugin.data();
        delete driver.data();
        drain();
        QCOMPARE(router.instructionCount(), 0);
    }

    void routing_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<QString>("reaches"); // the plug-in whose command runs
        QTest::addColumn<int>("error");
        const auto row = [](const char* setup, const char* target, const char* instruction,
                            const char* reaches, int error) {
            QTest::newRow(setup) << QString(target) << QString(instruction) << QString(reaches)
                                 << error;
        };
        row("myself", "myself", "echo", "plugin", IMessenger::NoError);
        row("bind line plug-in", "driver", "echo", "other", IMessenger::NoError);
        row("bind device", "driver", "write", "driver", IMessenger::NoError); // refused: the driver
        row("unknown target", "elsewhere", "echo", "", IMessenger::UnknownTarget);
        row("destroy driver", "driver", "write", "", IMessenger::UnknownTarget);
        row("orphan caller", "myself", "echo", "", IMessenger::UnknownTarget);
        row("driver has no echo", "driver", "echo", "", IMessenger::UnknownInstruction);
        row("refusing run", "myself", "echo", "plugin", IMessenger::Refused);
    }
    void routing() {
        QFETCH(QString, target);
        QFETCH(QString, instruction);
        QFETCH(QString, reaches);
        QFETCH(int, error);
        const QString setup = QTest::currentDataTag();
        TPlugin other(QUuid::createUuid(), setup == "bind line plug-in");
        TCmd orphan({}, nullptr);
        if (setup.startsWith("bind")) {
            QCOMPARE(plugin->setDriver(&other), setup == "bind line plug-in");
        } else if (setup == "destroy driver") {
            delete driver.data();
        }
        QSignalSpy added(&router, &DInstructionRouter::sigInstructionAdded);
        QList<int> errors;
        connect(&router, &DInstructionRouter::sigInstructionRefused, &other,
                [&](const QString&, const QString&, IMessenger::EnErrorCode e) { errors << e; });
        DAbstractCommand* sender = setup == "orphan caller" ? &orphan : caller.data();
        const QVariantMap arguments{{setup == "refusing run" ? "undeclared" : "number", 1}};
        const quint64 id = sender->addInstruction(target, instruction, arguments, 0, {});
        const QHash<QString, QObject*> plugins{
            {"plugin", plugin}, {"driver", driver}, {"other", &other}};
        QCOMPARE(added.value(0).value(1).value<QObject*>(), plugins.value(reaches));
        QCOMPARE(errors, error ? QList<int>{error} : QList<int>());
        QCOMPARE(id > 0, error == IMessenger::NoError);
        QCOMPARE(sender->stopTheInstruction(id), id > 0);
    }

    // A one-shot ends after the turn of its first reply or its timeout, a listener when stopped;
    // an end finishes the run, and a reply queued before it never arrives.
    void lifecycle_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QVariantMap>("arguments"); // published while executing
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("end");           // what ends the instruction, if anything does
        QTest::addColumn<QVariantList>("expected"); // the replies, with two late {"number": 7}
        const QVariantMap late{{"number", 7}}, two{{"number", 2}, {"value", "a"}};
        QTest::newRow("two updates in one turn")
            << "myself" << QVariantMap{{"value", "a"}} << 0 << "update"
            << QVariantList{QVariantMap{{"value", "a"}}, two};
        QTest::newRow("timed out")
            << "myself" << QVariantMap() << 20 << "timeout" << QVariantList();
        QTest::newRow("0: no timeout")
            << "myself" << QVariantMap() << 0 << "wait" << QVariantList{late};
        QTest::newRow("listener") << "driver" << QVariantMap() << 20 << "wait"
                                  << QVariantList{late, late};
        for (const char* target : {"myself", "driver"}) {
            for (const char* end : {"destroy caller", "destroy plain caller", "finish caller",
                                    "stop", "destroy target"}) {
                QTest::addRow("%s, %s", end, target) << QString(target) << QVariantMap{{"value", 1}}
                                                     << 0 << QString(end) << QVariantList();
            }
        }
    }
    void lifecycle() {
        QFETCH(QString, target);
        QFETCH(QVariantMap, arguments);
        QFETCH(int, timeout);
        QFETCH(QString, end);
        QFETCH(QVariantList, expected);
        static quint64 previous = 0;
        QSignalSpy ended(&router, &DInstructionRouter::sigInstructionEnded);
        QElapsedTimer clock;
        clock.start();
        QObject* key = end == "destroy plain caller" ? new QObject : caller.data();
        const QString name = target == "driver" ? "listenEventsData" : "echo";
        const quint64 id =
            router.addInstruction(key, plugin, target, name, arguments, timeout, recorder);
        QVERIFY2(id > previous, "identifiers are never reused");
        previous = id;
        // An echo run outlives its instruction here, unless its plug-in is destroyed.
        const auto hold = end == "destroy target" ? nullptr : g_lastRun.toStrongRef();
        const QPointer<DAbstractCommand> run =
            target == "driver" ? driver->standingListeners().value(0)
                               : dynamic_cast<DAbstractCommand*>(g_lastRun.toStrongRef().data());
        QSignalSpy finished(run.data(), &DAbstractCommand::sigCommandFinished);
        QVERIFY(replies.isEmpty()); // never inside addInstruction
        if (end == "timeout") {
            QVERIFY(ended.wait(1000) && clock.elapsed() >= timeout * 9 / 10);
        } else if (end == "wait") {
            const quint64 reference = caller->addInstruction("myself", "echo", {}, 40, {});
            QTRY_VERIFY(!router.isStanding(reference));
            QVERIFY(router.isStanding(id));
        } else if (end != "update") {
            driver->sendFrame("queued");
        }
        if (end == "finish caller") {
            bool ok = false;
            caller->finishTheCommand(ok);
        } else if (end == "update") {
            QVERIFY(run->commandUpdateResult("number", 2));
        } else if (end == "stop") {
            QVERIFY(!TCmd({}, plugin).stopTheInstruction(id)); // another caller's
            QVERIFY(caller->stopTheInstruction(id) && !caller->stopTheInstruction(id));
        } else if (end.startsWith("destroy")) {
            QObject* served = target == "driver" ? driver.data() : static_cast<QObject*>(plugin);
            delete (end == "destroy target" ? served : key);
        }
        QCOMPARE(router.isStanding(id), end == "wait" || end == "update"); // ended at once
        for (int i = 0; i < 3; ++i) { // the first turn delivers what was published
            drain();
            QVERIFY(i == 2 || !run || run->commandUpdateResult("number", 7));
        }
        QCOMPARE(replies, expected);
        const bool standing = target == "driver" && end == "wait";
        QCOMPARE(finished.count(), standing ? 0 : 1);
        QCOMPARE(caller && caller->stopTheInstruction(id), standing);
    }

    // The timer is armed again for the next deadline once one has passed; it
    // is precise, a coarse one may be 5 % late.
    void timeoutsOneAfterAnother() {
        QCOMPARE(router.findChild<QTimer*>()->timerType(), Qt::PreciseTimer);
        const quint64 first = caller->addInstruction("myself", "echo", {}, 10, {});
        const quint64 second = caller->addInstruction("myself", "echo", {}, 30, {});
        QTRY_VERIFY(!router.isStanding(first) && !router.isStanding(second));
    }

    void commands() {
        DAbstractCommand* prototype = plugin->commandPrototype("echo");
        const QSharedPointer<ICommand> run = prototype->createCommand({});
        TCmd orphan({}, nullptr);
        QVERIFY(!prototype->commandExecute() && !orphan.commandExecute());
        QVERIFY(run->commandExecute() && !run->commandExecute()); // not a second time
        QVERIFY(!orphan.commandUpdateResults({{"value", "a"}, {"undeclared", 1}}) &&
                orphan.commandResults().isEmpty());

        // Argument, else configuration, else the declared default unless it is
        // invalid (a required parameter), else the default asked with.
        const auto value = [&](const QVariantMap& arguments, QObject* parent,
                               const char* name = "value") {
            return TCmd(arguments, parent).getParameterValue(name, "default");
        };
        QCOMPARE(value({{"other", 1}}, plugin), QVariant("declared"));
        QCOMPARE(value({}, nullptr), QVariant("declared"));
        QCOMPARE(value({}, plugin, "needed"), QVariant("default"));
        QCOMPARE(value({}, plugin, "undeclared"), QVariant("default"));
        plugin->setConfiguration({{"value", "configured"}, {"needed", "configured"}});
        QCOMPARE(value({}, plugin), QVariant("configured"));
        QCOMPARE(value({}, plugin, "needed"), QVariant("configured"));
        QCOMPARE(value({{"value", "argument"}}, plugin), QVariant("argument"));
        plugin->setConfiguration({});
    }

    // Linked on the next turn to the first instance made with that UUID, never by a null UUID,
    // and again on each change of the object ID.
    void backend() {
        TPlugin rootLike{QUuid()}, twin(uuid);
        plugin->setDriver(nullptr);
        DAbstractPluginBackend backend("TestLibrary", nullptr);
        QSignalSpy connectedChanged(&backend, &DAbstractPluginBackend::isConnectedChanged);
        QSignalSpy infoChanged(&backend, &DAbstractPluginBackend::deviceInfoChanged);
        QSignalSpy initialized(&backend, &DAbstractPluginBackend::abstractBackendInitialized);
        const auto listen = [&] {
            return backend.sendAnInstruction("listenEventsData", {{"from", "backend"}}, recorder,
                                             -1, {});
        };
        const auto info = [&](const char* driverName) {
            return QVariantList{QVariantMap{{"name", "Plug-in"}, {"value", "Test device"}},
                                QVariantMap{{"name", "Instance"}, {"value", uuid.toString()}},
                                QVariantMap{{"name", "Driver"}, {"value", driverName}}};
        };
        backend.setObjectId("first");
        backend.setObjectId(uuid.toString());
        QVERIFY(initialized.isEmpty() && initialized.wait(1000));
        drain();
        QCOMPARE(initialized.count(), 1); // once for both changes
        QCOMPARE(backend.deviceInfo(), info("-"));
        QVERIFY(!backend.isConnected() && connectedChanged.isEmpty() && listen() == 0);

        plugin->setDriver(driver);
        backend.setObjectId(uuid.toString(QUuid::WithoutBraces));
        QVERIFY(initialized.wait(1000) && backend.isConnected() && connectedChanged.count() == 1);
        QCOMPARE(backend.deviceInfo(), info("Scripted driver"));
        const quint64 id = listen();
        QVERIFY(id > 0 && driver->received().size() == 1 && driver->received()[0].timeout == -1);
        QCOMPARE(driver->received().first().arguments, (QVariantMap{{"from", "backend"}}));
        driver->sendFrame("a");
        driver->sendFrame("b");
        QTRY_COMPARE(ids, (QList<quint64>{id, id}));
        QCOMPARE(replies.last().toMap().value("frame"), QVariant(QByteArray("b")));
        QVERIFY(backend.stopTheInstruction(id) && !backend.stopTheInstruction(id));

        backend.setObjectId("{OBJECT_ID}"); // names no instance: the link is released
        QVERIFY(initialized.wait(1000) && listen() == 0 && !backend.isConnected());
        QVERIFY(backend.deviceInfo().isEmpty() && connectedChanged.count() == 2);
        QCOMPARE(infoChanged.count(), 3); // the panel's header and list follow
        PScriptedDriver twinDriver;
        twin.setDriver(&twinDriver);
        delete plugin.data(); // unregistered: the twin is found now
        backend.setObjectId(uuid.toString());
        QVERIFY(initialized.wait(1000) && listen() > 0 && twinDriver.received().size() == 1);
    }

    void basics() {
        DDataStorage storage;
        QSignalSpy changed(&storage, &DDataStorage::sigPropertyChanged);
        storage.setProperty("quiet", 1, false);
        storage.setProperty("speed", 9600, true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first(), (QVariantList{"speed", 9600}));
        QCOMPARE(storage.getProperty("quiet"), QVariant(1)); // kept all the same
        const QDateTime now = QDateTime::fromString(::getDate(), "yyyy-MM-dd hh:mm:ss.zzz");
        QVERIFY(qAbs(now.msecsTo(QDateTime::currentDateTime())) < 60 * 1000);
        QCOMPARE(::versionFromString("7,2", nullptr, ','), Q_UINT64_C(0x0007000200000000));
    }

    void versionFromString_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint64>("expected"); // 0 when refused
        QTest::newRow("four") << "1.2.3.4" << Q_UINT64_C(0x0001000200030004);
        QTest::newRow("65535") << "65535.0.0.65535" << Q_UINT64_C(0xFFFF00000000FFFF);
        for (const char* text : {"1.2.3.4.5", "", "1..2", "1.x", "-1.0", "1.65536", "1. 2"}) {
            QTest::newRow(text) << QString(text) << quint64(0);
        }
    }
    void versionFromString() {
        QFETCH(QString, text);
        QFETCH(quint64, expected);
        bool ok = !expected;
        QCOMPARE(::versionFromString(text, &ok), expected);
        QCOMPARE(ok, expected != 0);
    }
};

QTEST_GUILESS_MAIN(TstHostFramework)
#include "tst_host_framework.moc"
