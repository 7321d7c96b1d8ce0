#include <d_abstract_command.h>
#include <d_abstract_plugin.h>
#include <d_abstract_plugin_backend.h>
#include <d_instruction_router.h>
#include <p_scripted_driver.h>

#include <QtTest>

namespace {

DInstructionRouter& router() {
    return DInstructionRouter::instance();
}

class TPlugin : public DAbstractPlugin {
public:
    explicit TPlugin(const QUuid& instanceUuid)
        : DAbstractPlugin(QUuid::createUuid(), "Test device", IPlugin::Device, 1, instanceUuid,
                          nullptr, false) {}
    void initPluginCommands() override {}
    IPlugin* createInstance(const QUuid& uuid) const override { return new TPlugin(uuid); }
};

// A backend that records its replies and shows its protected link.
class TBackend : public DAbstractPluginBackend {
public:
    TBackend()
        : DAbstractPluginBackend("TestLibrary", nullptr) {}

    using DAbstractPluginBackend::baseLink;
    using DAbstractPluginBackend::releaseBaseLink;

    quint64 listen(int timeout = -1) {
        return sendAnInstruction("listenEventsData", {{"from", "backend"}},
                                 fastdelegate::MakeDelegate(this, &TBackend::onReply), timeout,
                                 DErrorDelegate());
    }
    bool onReply(quint64 id, const QVariantMap& reply) {
        ids.append(id);
        replies.append(reply);
        return true;
    }
    // Names an instance and waits for the framework to link.
    bool linkTo(const QString& objectId) {
        QSignalSpy initialized(this, &DAbstractPluginBackend::abstractBackendInitialized);
        setObjectId(objectId);
        return initialized.wait(1000) && initialized.count() == 1;
    }

    QList<quint64> ids;
    QVariantList replies;
};

QVariantMap info(const char* name, const QString& value) {
    return {{"name", name}, {"value", value}};
}

} // namespace

class TstPluginBackend : public QObject {
    Q_OBJECT

    QUuid uuid = QUuid::createUuid();
    QPointer<TPlugin> instance;
    QPointer<PScriptedDriver> driver;

private slots:
    void init() {
        instance = new TPlugin(uuid);
        driver = new PScriptedDriver;
        QVERIFY(instance->setDriver(driver));
    }
    void cleanup() {
        delete instance.data();
        delete driver.data();
        QCoreApplication::processEvents();
        QCOMPARE(router().instructionCount(), 0);
    }

    void findPlugin() {
        TPlugin rootLike{QUuid()};
        TPlugin twin(uuid);
        QCOMPARE(router().findPlugin(uuid), instance.data()); // the first made
        QCOMPARE(router().findPlugin(QUuid()), nullptr);      // never the null UUID
        QCOMPARE(router().findPlugin(QUuid::createUuid()), nullptr);
        delete instance.data();
        QCOMPARE(router().findPlugin(uuid), &twin);
    }

    void linking_data() {
        QTest::addColumn<QString>("objectId");
        QTest::addColumn<bool>("linked");
        QTest::addColumn<bool>("connected");
        QTest::newRow("instance with a driver") << uuid.toString() << true << true;
        QTest::newRow("without braces") << uuid.toString(QUuid::WithoutBraces) << true << true;
        QTest::newRow("instance without a driver") << "unbind" << true << false;
        QTest::newRow("no such instance") << QUuid::createUuid().toString() << false << false;
        QTest::newRow("placeholder") << "{OBJECT_ID}" << false << false;
        QTest::newRow("instance destroyed") << "destroy" << false << false;
    }
    void linking() {
        QFETCH(QString, objectId);
        QFETCH(bool, linked);
        QFETCH(bool, connected);
        if (objectId == "unbind") {
            instance->setDriver(nullptr);
        } else if (objectId == "destroy") {
            delete instance.data();
        }
        if (objectId == "unbind" || objectId == "destroy") {
            objectId = uuid.toString();
        }
        TBackend backend;
        QSignalSpy connectedChanged(&backend, &DAbstractPluginBackend::isConnectedChanged);
        QSignalSpy initialized(&backend, &DAbstractPluginBackend::abstractBackendInitialized);
        backend.setObjectId("first");
        backend.setObjectId(objectId);
        QCOMPARE(initialized.count(), 0); // links on the next turn, once
        QVERIFY(initialized.wait(1000));
        QCoreApplication::processEvents();
        QCOMPARE(initialized.count(), 1);

        QCOMPARE(!backend.baseLink().isNull(), linked);
        QCOMPARE(backend.isConnected(), connected);
        QCOMPARE(connectedChanged.count(), connected ? 1 : 0);
        const QVariantList expected{info("Plug-in", "Test device"),
                                    info("Instance", uuid.toString()),
                                    info("Driver", connected ? "Scripted driver" : "-")};
        QCOMPARE(backend.deviceInfo(), linked ? expected : QVariantList());

        backend.releaseBaseLink();
        QVERIFY(backend.baseLink().isNull());
        QVERIFY(!backend.isConnected());
        QVERIFY(backend.deviceInfo().isEmpty());
    }

    void sendAnInstruction_data() {
        QTest::addColumn<QString>("before"); // what happens between linking and sending
        QTest::addColumn<bool>("sent");
        QTest::newRow("linked") << "" << true;
        QTest::newRow("link released") << "release" << false;
        QTest::newRow("instance destroyed") << "destroy" << false;
        QTest::newRow("driver unbound") << "unbind" << false;
        QTest::newRow("never linked") << "unlinked" << false;
    }
    void sendAnInstruction() {
        QFETCH(QString, before);
        QFETCH(bool, sent);
        TBackend backend;
        QVERIFY(backend.linkTo(before == "unlinked" ? "{OBJECT_ID}" : uuid.toString()));
        if (before == "release") {
            backend.releaseBaseLink();
        } else if (before == "destroy") {
            delete instance.data();
        } else if (before == "unbind") {
            instance->setDriver(nullptr);
        }

        const quint64 id = backend.listen();
        QCOMPARE(id > 0, sent);
        QCOMPARE(driver->receivedNames(), sent ? QStringList{"listenEventsData"} : QStringList());
        if (!sent) {
            return;
        }
        QCOMPARE(driver->received().first().arguments, (QVariantMap{{"from", "backend"}}));
        QCOMPARE(driver->received().first().timeout, -1);
        driver->sendFrame("a");
        driver->sendFrame("b");
        QTRY_COMPARE(backend.replies.size(), 2);
        QCOMPARE(backend.ids, (QList<quint64>{id, id}));
        QCOMPARE(backend.replies.last().toMap().value("frame"), QVariant(QByteArray("b")));

        QVERIFY(backend.stopTheInstruction(id));
        QVERIFY(!backend.stopTheInstruction(id));
        QVERIFY(driver->standingListeners().isEmpty());
    }

    void destroyedBackendReleasesItsInstruction() {
        auto* backend = new TBackend;
        QVERIFY(backend->linkTo(uuid.toString()));
        const quint64 id = backend->listen();
        QVERIFY(router().isStanding(id));
        driver->sendFrame("queued");
        delete backend;
        QVERIFY(!router().isStanding(id));
        QVERIFY(driver->standingListeners().isEmpty());
        QCoreApplication::processEvents(); // the queued reply finds no one
    }

    void relinkingFollowsObjectId() {
        TPlugin other(QUuid::createUuid());
        PScriptedDriver otherDriver;
        other.setDriver(&otherDriver);
        TBackend backend;
        QVERIFY(backend.linkTo(uuid.toString()));
        QVERIFY(backend.linkTo(other.objectUuid().toString()));
        QVERIFY(backend.listen() > 0);
        QVERIFY(driver->received().isEmpty());
        QCOMPARE(otherDriver.receivedNames(), QStringList{"listenEventsData"});
    }
};

QTEST_GUILESS_MAIN(TstPluginBackend)
#include "tst_plugin_backend.moc"
