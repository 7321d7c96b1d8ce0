#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QtQuick>
#include <QtTest>

class TstMaintenancePanel : public QObject {
    Q_OBJECT

private slots:
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

QTEST_MAIN(TstMaintenancePanel)
#include "tst_maintenance_panel.moc"
