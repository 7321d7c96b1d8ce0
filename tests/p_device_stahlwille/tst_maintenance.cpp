#include <be_maintenance_plugin.h>
#include <command_bench.h>
#include <d_listen_line_parser.h>
#include <log_capture.h>

#include <QtQuick>
#include <QtTest>

const QByteArray good = "0042 12.50 Nm = 1.25 10:42 05Mar24";

// The maintenance backend, its line parser and the panel that shows them.
class TstMaintenance : public QObject {
    Q_OBJECT

private slots:
    // The type is there once the first plug-in object exists, and stays the same one: QML
    // never forgets a registration, so one per instance would grow its registry forever.
    void backendTypeRegisteredOncePerProcess() {
        const auto typeId = [] {
            return qmlTypeId("PlgLibDeviceStahlwille", 1, 0, "BeMaintenanceDeviceStahlwille");
        };
        const PDeviceStahlwille first{QUuid::createUuid()};
        const int registered = typeId();
        const PDeviceStahlwille second{QUuid::createUuid()};
        QVERIFY(registered >= 0 && typeId() == registered);
    }

    // The backend linked to a plug-in: a second initialisation stops the first listen and
    // forgets the last line without a signal; a reply without a frame is logged and changes
    // nothing; a reset keeps the data and the listen and emits nothing; the destructor ends
    // the listen.
    void lastValueFollowsTheListenUntilDestroyed() {
        PDeviceStahlwille plugin{QUuid::createUuid()};
        PScriptedDriver driver;
        plugin.setDriver(&driver);
        QScopedPointer<BeMaintenanceDeviceStahlwille> backend{new BeMaintenanceDeviceStahlwille};
        QSignalSpy changes{backend.data(), &BeMaintenanceDeviceStahlwille::channelsModelChanged};
        QSignalSpy paths{backend.data(), &BeMaintenanceDeviceStahlwille::connectionPathChanged};
        int standingWhenDestroyed = -1;
        // Connected before the listen opens, so it runs before the router's own clean-up.
        QObject::connect(backend.data(), &QObject::destroyed,
                         [&] { standingWhenDestroyed = driver.standingListeners().size(); });
        QSignalSpy linked(backend.data(), &DAbstractPluginBackend::abstractBackendInitialized);
        backend->setObjectId(plugin.objectUuid().toString());
        linked.wait(1000);
        const auto event = [&] {
            return backend->property("lastValue").toMap()["Event number"];
        };
        const auto send = [&](const QVariantMap& reply) {
            driver.sendReply(reply);
            drainEvents();
        };
        const auto listen = driver.received().value(0);
        QVERIFY(listen.instruction == "listenEventsData" && listen.arguments.isEmpty() &&
                listen.timeout == -1);
        send({{"frame", good}});
        emit backend->abstractBackendInitialized();
        QVERIFY(backend->lastListenData().isEmpty() && changes.count() == 1);
        QVERIFY(driver.received().size() == 2 && driver.standingListeners().size() == 1);
        send({{"frame", good}});

        const LogCapture log;
        send({{"number", 7}});
        QCOMPARE(log.entries().size(), 1);
        QCOMPARE(missingFrameLineMismatch(
                     log.entries()[0], backend.data(),
                     "plugins/p_device_stahlwille/source/be_maintenance_plugin.cpp",
                     "ERROR: No frame provided for instructionId =", driver.received()[1].id),
                 QString());
        QSignalSpy connected(backend.data(), &DAbstractPluginBackend::isConnectedChanged);
        QSignalSpy info(backend.data(), &DAbstractPluginBackend::deviceInfoChanged);
        QVERIFY(QMetaObject::invokeMethod(backend.data(), "resetBackend"));
        QVERIFY(connected.isEmpty() && info.isEmpty() && backend->isConnected());
        emit backend->abstractBackendInitialized(); // unlinked: nothing to do
        QCOMPARE(event(), QVariant("0042"));
        send({{"frame", "0043" + good.mid(4)}});
        QCOMPARE(event(), QVariant("0043"));
        QVERIFY(driver.received().size() == 2 && changes.count() == 3); // each line once
        for (const char* path : {"", "/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB1"}) {
            backend->setConnectionPath(path);
        }
        QCOMPARE(paths.count(), 2); // real changes only, none from the reset

        driver.sendFrame(good);
        backend.reset();
        QCOMPARE(standingWhenDestroyed, 0);
        drainEvents(); // the frame on its way finds no one
    }

    void lines_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("fields"); // in key order (the panel test names the keys)
        const auto row = [](const QByteArray& tag, const QByteArray& frame,
                            const QString& fields = {}) {
            QTest::newRow(tag.constData()) << frame << fields;
        };
        const QString typical = "0042|1.25s|05Mar24 10:42|=|12.5 Nm";

        row("typical", good, typical);
        row("100.00", "0001 100.00 Nm > 0.80 23:59 31Dec99", "0001|0.80s|31Dec99 23:59|>|100 Nm");
        row("signs, ft.lb", "9999 -3.50 ft.lb = +0.10 08:05 12Feb23",
            "9999|+0.10s|12Feb23 08:05|=|-3.5 ft.lb");
        row("no time", "0042 12.50 Nm = 10:42 05Mar24", "0042|s|05Mar24 10:42|=|12.5 Nm");
        row("sign touching", "0042 12.50 Nm>-0.50 10:42 05Mar24",
            "0042|-0.50s|05Mar24 10:42|>|12.5 Nm");
        row("tabs and runs of blanks", "0042\t12.50  Nm \t=\t1.25   10:42\t05Mar24", typical);
        // Display text only: a torque beyond the double range is shown as such.
        row("beyond double", "0042 " + QByteArray(400, '9') + ".0 Nm = 1.25 10:42 05Mar24",
            "0042|1.25s|05Mar24 10:42|=|inf Nm");
        row("text ends at the first NUL", good + QByteArray("\0junk", 5), typical);
        row("one final LF", good + "\n", typical); // the closing anchor allows it

        row("4 bytes, not looked at", "0042");
        row("5 bytes", "00421");
        row("leading blank", " " + good);
        row("trailing blank", good + " ");
        row("3-digit event", good.mid(1));
        row("torque without point", "0042 12 Nm = 1.25 10:42 05Mar24");
        row("time without point", "0042 12.50 Nm = 1 10:42 05Mar24");
        row("no sign", "0042 12.50 Nm 1.25 10:42 05Mar24");
        row("sign touching the time of day", "0042 12.50 Nm=10:42 05Mar24");
        row("no date", good.left(26));
        row("digit in the unit", "0042 12.50 N2 = 1.25 10:42 05Mar24");
        row("Arabic-Indic digits",
            "\xd9\xa0\xd9\xa0\xd9\xa4\xd9\xa2 12.50 Nm = 1.25 10:42 05Mar24");
        row("1 MiB of digits", QByteArray(1 << 20, '7'));
        // The torque is shown as its value written with 6 significant digits;
        // the short texts are read off the line, and must come out the same.
        for (const QByteArray torque : {"000012.50", "+3.75", "999999.5", "0.1234567", "0.0015",
                                        "0.00001", "-0.00", "00.010"}) {
            row(torque, "0042 " + torque + " Nm = 1.25 10:42 05Mar24",
                "0042|1.25s|05Mar24 10:42|=|" + QString::number(torque.toDouble(), 'g', 6) + " Nm");
        }
    }

    void lines() {
        QFETCH(QByteArray, frame);
        QFETCH(QString, fields);
        const LogCapture log;
        const QVariantMap parsed = DListenLineParser::parse(frame);
        QCOMPARE(QVariant(parsed.values()).toStringList().join('|'), fields);
        const bool looked = fields.isEmpty() && frame.size() > 4; // shorter frames are not
        QCOMPARE(log.entries().size(), int(looked));
        QVERIFY(!looked || log.entries()[0].message == "No match found.");
    }

    // The panel from the library's own resource, with its placeholders filled
    // in as the host does, in a window drawn by the software scene graph.
    void panelShowsTheLastResultLine() {
        PDeviceStahlwille plugin(QUuid::createUuid());
        PScriptedDriver driver;
        plugin.setDriver(&driver);
        const QString uuid = plugin.objectUuid().toString();
        QFile file(":/{0ba12e45-e44b-4f6a-8202-d8eb318f4f25}/maintenance_panel.qml");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll()
                                    .replace("{OBJECT_ID}", uuid.toUtf8())
                                    .replace("{OBJECT_NAME}", "Station 3");
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
        QQmlEngine engine;
        QQuickWindow window;
        QQmlComponent component(&engine);
        component.setData(text, QUrl("qrc" + file.fileName()));
        QScopedPointer<QQuickItem> root(qobject_cast<QQuickItem*>(component.create()));
        QVERIFY2(root, qPrintable(component.errorString()));
        root->setParentItem(window.contentItem());
        root->setWidth(400);
        window.resize(400, 600);
        window.show();
        // The rows of a list view as its delegates show them.
        const auto rows = [&root](const char* view) {
            const QString rows =
                "Array.from({length: %1.count}, (_, i) => %1.itemAtIndex(i).children)"
                ".map(c => c[0].text + ' ' + c[c.length - 1].text)";
            return QQmlExpression(qmlContext(root.data()), root.data(), rows.arg(view))
                .evaluate()
                .toStringList();
        };

        QTRY_COMPARE(root->property("connected"), QVariant(true));
        QCOMPARE(root->property("name"), QVariant("Station 3"));
        QTRY_COMPARE(rows("idDeviceInfoListView"),
                     QStringList({"Plug-in Plugin Device Stahlwille", "Instance " + uuid,
                                  "Driver Scripted driver"}));
        QCOMPARE(rows("idValues"), QStringList({"Event number: -", "Execution time: -",
                                                "Internal date/time: -", "Sign: -", "Torque: -"}));
        driver.sendFrame("0042 12.50 Nm = 1.25 10:42 05Mar24");
        QTRY_COMPARE(rows("idValues"), QStringList({"Event number: 0042", "Execution time: 1.25s",
                                                    "Internal date/time: 05Mar24 10:42",
                                                    "Sign: =", "Torque: 12.5 Nm"}));
        // A frame is taken as one whole line: with its line end it does not parse.
        QTest::ignoreMessage(QtDebugMsg, "No match found.");
        driver.sendFrame("0042 12.50 Nm = 1.25 10:42 05Mar24\r\n");
        QTRY_COMPARE(rows("idValues"), QStringList());
    }
};

QTEST_MAIN(TstMaintenance)
#include "tst_maintenance.moc"
