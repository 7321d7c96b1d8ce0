#include <be_maintenance_plugin.h>
#include <command_bench.h>
#include <log_capture.h>

#include <QtTest>
#include <qqml.h>

namespace {

const QByteArray good = "0042 12.50 Nm = 1.25 10:42 05Mar24";

// A plug-in instance bound to a scripted driver, and a backend linked to it.
struct Bench {
    PDeviceStahlwille plugin{QUuid::createUuid()};
    PScriptedDriver driver;
    QScopedPointer<BeMaintenanceDeviceStahlwille> backend{new BeMaintenanceDeviceStahlwille};
    QSignalSpy changes{backend.data(), &BeMaintenanceDeviceStahlwille::channelsModelChanged};
    QSignalSpy paths{backend.data(), &BeMaintenanceDeviceStahlwille::connectionPathChanged};
    int standingWhenDestroyed = -1;

    Bench() {
        plugin.setDriver(&driver);
        // Connected before the listen opens, so it runs before the router's own clean-up.
        QObject::connect(backend.data(), &QObject::destroyed,
                         [this] { standingWhenDestroyed = driver.standingListeners().size(); });
        QSignalSpy linked(backend.data(), &DAbstractPluginBackend::abstractBackendInitialized);
        backend->setObjectId(plugin.objectUuid().toString());
        linked.wait(1000);
    }
    QVariant event() const { return backend->property("lastValue").toMap()["Event number"]; }
    void send(const QVariantMap& reply) {
        driver.sendReply(reply);
        drainEvents();
    }
};

} // namespace

class TstMaintenanceBackend : public QObject {
    Q_OBJECT

private slots:
    // The type is there once the first plug-in object exists, and stays the
    // same one: QML never forgets a registration, so registering it again for
    // every instance would grow its registry without bound.
    void backendTypeRegisteredOncePerProcess() {
        const auto typeId = [] {
            return qmlTypeId("PlgLibDeviceStahlwille", 1, 0, "BeMaintenanceDeviceStahlwille");
        };
        const PDeviceStahlwille first{QUuid::createUuid()};
        const int registered = typeId();
        QVERIFY(registered >= 0);
        for (int instance = 0; instance < 3; ++instance) {
            const PDeviceStahlwille another{QUuid::createUuid()};
            QCOMPARE(typeId(), registered);
        }
    }

    void secondInitialisationStopsTheFirstListen() {
        Bench bench;
        const auto listen = bench.driver.received().value(0);
        QCOMPARE(listen.instruction, QString("listenEventsData"));
        QCOMPARE(listen.arguments, QVariantMap());
        QCOMPARE(listen.timeout, -1);
        emit bench.backend->abstractBackendInitialized();
        QCOMPARE(bench.driver.received().size(), 2);
        QCOMPARE(bench.driver.standingListeners().size(), 1);
        bench.send({{"frame", good}});
        QCOMPARE(bench.changes.count(), 1); // each line once
    }

    // A reply without a frame is logged and changes nothing; a reset keeps the
    // data and the listen; the destructor itself ends the listen.
    void lastValueFollowsTheListenUntilDestroyed() {
        Bench bench;
        bench.send({{"frame", good}});
        const LogCapture log;
        bench.send({{"number", 7}});
        QCOMPARE(log.entries().size(), 1);
        QCOMPARE(log.entries()[0].message.section(" ;\t ", -1),
                 QString("ERROR: No frame provided for instructionId = %1")
                     .arg(bench.driver.received()[0].id));
        QVERIFY(QMetaObject::invokeMethod(bench.backend.data(), "resetBackend"));
        emit bench.backend->abstractBackendInitialized(); // unlinked: nothing to do
        QCOMPARE(bench.event(), QVariant("0042"));
        bench.send({{"frame", "0043" + good.mid(4)}});
        QCOMPARE(bench.event(), QVariant("0043"));
        QCOMPARE(bench.driver.received().size(), 1);
        QCOMPARE(bench.changes.count(), 2);
        for (const char* path : {"", "/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB1"}) {
            bench.backend->setConnectionPath(path);
        }
        QCOMPARE(bench.paths.count(), 2); // real changes only, none from the reset

        bench.driver.sendFrame(good);
        bench.backend.reset();
        QCOMPARE(bench.standingWhenDestroyed, 0);
        drainEvents(); // the frame on its way finds no one
    }
};

QTEST_GUILESS_MAIN(TstMaintenanceBackend)
#include "tst_maintenance_backend.moc"
