#include <be_maintenance_plugin.h>
#include <d_instruction_router.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QMetaProperty>
#include <QtTest>

#include <memory>

namespace {

const QByteArray goodLine = "0042 12.50 Nm = 1.25 10:42 05Mar24";
const QVariantMap goodFields{{"Event number", "0042"},
                             {"Execution time", "1.25s"},
                             {"Internal date/time", "05Mar24 10:42"},
                             {"Sign", "="},
                             {"Torque", "12.5 Nm"}};

QList<QPair<QtMsgType, QString>> g_messages;

void collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    g_messages.append({type, message});
}

// A plug-in instance bound to a scripted driver, and a backend that shows it.
struct Bench {
    PDeviceStahlwille plugin{QUuid::createUuid()};
    PScriptedDriver driver;
    std::unique_ptr<BeMaintenanceDeviceStahlwille> backend{new BeMaintenanceDeviceStahlwille};
    QSignalSpy channels{backend.get(), &BeMaintenanceDeviceStahlwille::channelsModelChanged};

    Bench() { plugin.setDriver(&driver); }

    // Lets the framework link the backend to objectId (the instance's own by
    // default) and waits for it to say so.
    bool initialise(const QString& objectId = {}) {
        QSignalSpy initialized(backend.get(), &DAbstractPluginBackend::abstractBackendInitialized);
        backend->setObjectId(objectId.isEmpty() ? plugin.objectUuid().toString() : objectId);
        return initialized.wait(1000);
    }
    int listens() const { return driver.receivedNames().count("listenEventsData"); }
    int standing() const { return driver.standingListeners().size(); }
    // Sends one frame and waits until the backend has taken it.
    bool deliver(const QByteArray& frame) {
        const int before = channels.count();
        driver.sendFrame(frame);
        return QTest::qWaitFor([&] { return channels.count() > before; }, 1000);
    }
};

} // namespace

class TstMaintenanceBackend : public QObject {
    Q_OBJECT

private slots:
    void init() {
        g_messages.clear();
        qInstallMessageHandler(collect);
    }
    void cleanup() { qInstallMessageHandler(nullptr); }

    void metaObjectForQml();
    void initialisationOpensOneListen();
    void nullLinkOpensNothing_data();
    void nullLinkOpensNothing();
    void replies_data();
    void replies();
    void replyWithoutFrameIsLogged();
    void secondInitialisationStopsTheFirstListen();
    void resetKeepsListeningAndData();
    void destruction_data();
    void destruction();
    void connectionPath();
};

void TstMaintenanceBackend::metaObjectForQml() {
    const QMetaObject& meta = BeMaintenanceDeviceStahlwille::staticMetaObject;
    QCOMPARE(meta.superClass(), &DAbstractPluginBackend::staticMetaObject);
    QStringList own;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        own.append(QString::number(meta.method(i).methodType()) + meta.method(i).methodSignature());
    }
    QCOMPARE(own, QStringList(
                      {"1connectionPathChanged()", "1channelsModelChanged()", "2resetBackend()"}));
    QCOMPARE(meta.propertyCount() - meta.propertyOffset(), 2);
    for (const char* name : {"connectionPath", "lastValue"}) {
        const QMetaProperty property = meta.property(meta.indexOfProperty(name));
        QVERIFY(property.isFinal());
        QVERIFY(!property.isWritable());
    }
    QCOMPARE(meta.property(meta.indexOfProperty("lastValue")).notifySignal().name(),
             QByteArray("channelsModelChanged"));
    QCOMPARE(meta.property(meta.indexOfProperty("connectionPath")).notifySignal().name(),
             QByteArray("connectionPathChanged"));
    QCOMPARE(BeMaintenanceDeviceStahlwille().libraryName(), QString("PlgLibDeviceStahlwille"));
}

void TstMaintenanceBackend::initialisationOpensOneListen() {
    Bench bench;
    QVERIFY(bench.initialise());
    const auto received = bench.driver.received();
    QCOMPARE(bench.driver.receivedNames(), QStringList{"listenEventsData"});
    QCOMPARE(received.first().arguments, QVariantMap());
    QCOMPARE(received.first().timeout, -1);
    QCOMPARE(bench.standing(), 1);
    QVERIFY(bench.backend->lastListenData().isEmpty());
    QCOMPARE(bench.channels.count(), 0);
}

void TstMaintenanceBackend::nullLinkOpensNothing_data() {
    QTest::addColumn<QString>("objectId");
    QTest::newRow("placeholder") << "{OBJECT_ID}";
    QTest::newRow("no such instance") << QUuid::createUuid().toString();
    QTest::newRow("signal before any link") << "";
}

void TstMaintenanceBackend::nullLinkOpensNothing() {
    QFETCH(QString, objectId);
    Bench bench;
    if (objectId.isEmpty()) {
        emit bench.backend->abstractBackendInitialized();
    } else {
        QVERIFY(bench.initialise(objectId));
    }
    QVERIFY(bench.driver.received().isEmpty());
    QCOMPARE(bench.channels.count(), 0);
}

void TstMaintenanceBackend::replies_data() {
    QTest::addColumn<QVariantMap>("reply");
    QTest::addColumn<QVariantMap>("lastValue");
    QTest::addColumn<int>("emissions"); // channelsModelChanged for this reply
    QTest::newRow("result line") << QVariantMap{{"frame", goodLine}} << goodFields << 1;
    QTest::newRow("line that does not fit")
        << QVariantMap{{"frame", QByteArray("0042 12.50 Nm")}} << QVariantMap() << 1;
    QTest::newRow("empty frame") << QVariantMap{{"frame", QByteArray()}} << QVariantMap() << 1;
    QTest::newRow("frame with a line end is not cut")
        << QVariantMap{{"frame", goodLine + "\r\n"}} << QVariantMap() << 1;
    QTest::newRow("no frame") << QVariantMap{{"number", 7}} << goodFields << 0;
}

// Each reply follows a result line, so that an emptied lastValue shows.
void TstMaintenanceBackend::replies() {
    QFETCH(QVariantMap, reply);
    QFETCH(QVariantMap, lastValue);
    QFETCH(int, emissions);
    Bench bench;
    QVERIFY(bench.initialise());
    QVERIFY(bench.deliver(goodLine));
    QCOMPARE(bench.backend->property("lastValue").toMap(), goodFields);

    QVERIFY(bench.backend->cbGetListenReply(1, reply));
    QCOMPARE(bench.backend->lastListenData(), lastValue);
    QCOMPARE(bench.channels.count(), 1 + emissions);
}

void TstMaintenanceBackend::replyWithoutFrameIsLogged() {
    Bench bench;
    QVERIFY(bench.initialise());
    const quint64 id = bench.driver.received().first().id;
    bench.driver.sendReply({{"number", 1}});
    QTRY_COMPARE(g_messages.size(), 1);
    QCOMPARE(g_messages.first().first, QtCriticalMsg);
    const QRegularExpression line(
        "^\n \"[^\"]+\" ;\t Thread = QThread\\(.+\\) ;\t This = "
        "BeMaintenanceDeviceStahlwille\\(0x[0-9a-f]+\\) ;\t "
        "plugins/p_device_stahlwille/source/be_maintenance_plugin\\.cpp ;\t [0-9]+ ;\t "
        "ERROR: No frame provided for instructionId = " +
        QString::number(id) + "$");
    QVERIFY2(line.match(g_messages.first().second).hasMatch(),
             qPrintable(g_messages.first().second));
    QCOMPARE(bench.channels.count(), 0);
}

void TstMaintenanceBackend::secondInitialisationStopsTheFirstListen() {
    Bench bench;
    QVERIFY(bench.initialise());
    QPointer<DCmdScripted> first = bench.driver.standingListeners().value(0);
    QVERIFY(first);
    emit bench.backend->abstractBackendInitialized();
    QCOMPARE(bench.listens(), 2);
    QCOMPARE(bench.standing(), 1);
    QVERIFY(!bench.driver.standingListeners().contains(first.data()));

    QVERIFY(bench.deliver(goodLine));
    QCoreApplication::processEvents();
    QCOMPARE(bench.channels.count(), 1); // each line once

    // Linking to another instance moves the listen to its driver.
    PDeviceStahlwille other{QUuid::createUuid()};
    PScriptedDriver otherDriver;
    other.setDriver(&otherDriver);
    QVERIFY(bench.initialise(other.objectUuid().toString()));
    QCOMPARE(bench.standing(), 0);
    QCOMPARE(otherDriver.standingListeners().size(), 1);
}

void TstMaintenanceBackend::resetKeepsListeningAndData() {
    Bench bench;
    QVERIFY(bench.initialise());
    QVERIFY(bench.deliver(goodLine));
    QSignalSpy path(bench.backend.get(), &BeMaintenanceDeviceStahlwille::connectionPathChanged);

    QVERIFY(QMetaObject::invokeMethod(bench.backend.get(), "resetBackend"));
    QCOMPARE(bench.backend->lastListenData(), goodFields);
    QCOMPARE(bench.channels.count(), 1);
    QCOMPARE(path.count(), 0);
    QCOMPARE(bench.standing(), 1);
    QVERIFY(bench.deliver("0043 12.50 Nm = 1.25 10:42 05Mar24"));
    QCOMPARE(bench.backend->lastListenData().value("Event number"), QVariant("0043"));

    // Without its link the backend does not listen again, and a second
    // reset changes nothing.
    emit bench.backend->abstractBackendInitialized();
    bench.backend->resetBackend();
    QCOMPARE(bench.listens(), 1);
    QCOMPARE(bench.standing(), 1);
}

void TstMaintenanceBackend::destruction_data() {
    QTest::addColumn<bool>("listening");
    QTest::newRow("with an open listen") << true;
    QTest::newRow("before any listen") << false;
}

void TstMaintenanceBackend::destruction() {
    QFETCH(bool, listening);
    Bench bench;
    int standingWhenDestroyed = -1;
    // Connected before the listen opens, so it runs before the router's own
    // clean-up of a destroyed caller: the destructor has stopped it by then.
    connect(bench.backend.get(), &QObject::destroyed, this,
            [&] { standingWhenDestroyed = bench.standing(); });
    QVERIFY(bench.initialise(listening ? QString() : QString("{OBJECT_ID}")));
    QCOMPARE(bench.standing(), listening ? 1 : 0);
    QSignalSpy ended(&DInstructionRouter::instance(), &DInstructionRouter::sigInstructionEnded);
    if (listening) {
        bench.driver.sendFrame(goodLine);
    }
    bench.backend.reset();
    QCOMPARE(standingWhenDestroyed, 0);
    QCOMPARE(ended.count(), listening ? 1 : 0);
    QCoreApplication::processEvents(); // the queued frame finds no one
}

void TstMaintenanceBackend::connectionPath() {
    BeMaintenanceDeviceStahlwille backend;
    QSignalSpy changed(&backend, &BeMaintenanceDeviceStahlwille::connectionPathChanged);
    backend.setConnectionPath("");
    QCOMPARE(changed.count(), 0);
    backend.setConnectionPath("/dev/ttyUSB0");
    backend.setConnectionPath("/dev/ttyUSB0");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(backend.property("connectionPath"), QVariant("/dev/ttyUSB0"));
    backend.setConnectionPath("/dev/ttyUSB1");
    QCOMPARE(changed.count(), 2);
}

QTEST_GUILESS_MAIN(TstMaintenanceBackend)
#include "tst_maintenance_backend.moc"
