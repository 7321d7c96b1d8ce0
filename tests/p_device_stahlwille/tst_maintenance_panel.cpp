#include <be_maintenance_plugin.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QDir>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QResource>
#include <QtTest>

#include <memory>

namespace {

const QString panelPath = ":/{0ba12e45-e44b-4f6a-8202-d8eb318f4f25}/maintenance_panel.qml";
const QUrl panelUrl("qrc" + panelPath);
const QByteArray goodLine = "0042 12.50 Nm = 1.25 10:42 05Mar24";
const QStringList placeholderRows{"Event number=-", "Execution time=-", "Internal date/time=-",
                                  "Sign=-", "Torque=-"};

// The rows of a list view as "key=value", read from its delegates.
const char* rowsOf = R"((function (view) {
    var rows = []
    for (var i = 0; i < view.count; ++i) {
        var row = view.itemAtIndex(i)
        rows.push(row ? row.children[0].text.replace(/:$/, "") + "=" +
                            row.children[row.children.length - 1].text
                      : "no delegate " + i)
    }
    return rows
}))";

// The panel as the host's view shows it: in a window, rendered by the
// software scene graph, with the host's components from qrc:/panels and
// qrc:/widgets.
struct Panel {
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> root;
    QString errors;

    // objectId replaces "{OBJECT_ID}" as the host does; empty keeps the file as
    // it is in the library.
    explicit Panel(const QString& objectId = {}) {
        QQmlComponent component(&engine);
        if (objectId.isEmpty()) {
            component.loadUrl(panelUrl);
        } else {
            QFile file(panelPath);
            file.open(QIODevice::ReadOnly);
            QByteArray text = file.readAll();
            text.replace("{OBJECT_ID}", objectId.toUtf8());
            text.replace("{OBJECT_NAME}", "Station 3");
            component.setData(text, panelUrl);
        }
        root.reset(qobject_cast<QQuickItem*>(component.create()));
        errors = component.errorString();
        if (root) {
            root->setWidth(400);
            root->setParentItem(window.contentItem());
            window.resize(400, 600);
            window.show();
        }
    }
    QVariant evaluate(const QString& expression) const {
        QQmlExpression e(qmlContext(root.get()), root.get(), expression);
        return e.evaluate();
    }
    QStringList rows(const char* view) const {
        return evaluate(QString("%1(%2)").arg(rowsOf, view)).toStringList();
    }
    BeMaintenanceDeviceStahlwille* backend() const {
        return root->findChild<BeMaintenanceDeviceStahlwille*>();
    }
};

bool loadsBackend(QQmlEngine& engine) {
    QQmlComponent component(&engine);
    component.setData("import PlgLibDeviceStahlwille 1.0\nBeMaintenanceDeviceStahlwille {}",
                      QUrl("qrc:/probe.qml"));
    if (component.isError()) {
        return false;
    }
    std::unique_ptr<QObject> object(component.create());
    return qobject_cast<BeMaintenanceDeviceStahlwille*>(object.get()) != nullptr;
}

} // namespace

class TstMaintenancePanel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void resourceHoldsOnlyThePanelCompressed();
    void panelAsShippedShowsPlaceholders();
    void panelFollowsTheBackend();
};

void TstMaintenancePanel::initTestCase() {
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    QQmlEngine before;
    QVERIFY(!loadsBackend(before)); // the type comes with a plug-in object
    PDeviceStahlwille plugin;
    QQmlEngine after;
    QVERIFY(loadsBackend(after));
}

void TstMaintenancePanel::resourceHoldsOnlyThePanelCompressed() {
    QCOMPARE(QDir(QFileInfo(panelPath).path()).entryList(QDir::AllEntries),
             QStringList{"maintenance_panel.qml"});
    const QResource resource(panelPath);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);
    QFile file(panelPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    for (const char* placeholder :
         {"\"{OBJECT_NAME}\"", "\"{OBJECT_ID}\"", "\"{OBJECT_REFERENCE}\""}) {
        QVERIFY(text.contains(placeholder));
    }
}

void TstMaintenancePanel::panelAsShippedShowsPlaceholders() {
    PScriptedDriver driver;
    Panel panel;
    QVERIFY2(panel.root, qPrintable(panel.errors));
    QCOMPARE(panel.root->objectName(), QString("maintenance_panel_device_stahlwille"));
    QCOMPARE(panel.evaluate("idColumn.objectName"),
             QVariant("maintenance_panel_device_stahlwille.idColumn"));
    QCOMPARE(panel.evaluate("idTitleStatus.objectName"),
             QVariant("maintenance_panel_device_stahlwille.idColumn.idTitleStatus"));
    QCOMPARE(panel.evaluate("rootItem.contentItem === idColumn"), QVariant(true));
    BeMaintenanceDeviceStahlwille* backend = panel.backend();
    QVERIFY(backend);
    QCOMPARE(backend->name(), QString("{OBJECT_NAME}"));
    QCOMPARE(backend->objectId(), QString("{OBJECT_ID}"));
    QCOMPARE(backend->reference(), QString("{OBJECT_REFERENCE}"));
    QCOMPARE(panel.root->property("name"), QVariant("{OBJECT_NAME}"));

    QSignalSpy initialized(backend, &DAbstractPluginBackend::abstractBackendInitialized);
    QVERIFY(initialized.wait(1000));
    QTRY_COMPARE(panel.rows("idValues"), placeholderRows);
    QCOMPARE(panel.evaluate("idDeviceInfoListView.count"), QVariant(0));
    QCOMPARE(panel.root->property("connected"), QVariant(false));
    QVERIFY(driver.received().isEmpty()); // the placeholder names no instance
}

void TstMaintenancePanel::panelFollowsTheBackend() {
    PDeviceStahlwille plugin(QUuid::createUuid());
    PScriptedDriver driver;
    plugin.setDriver(&driver);
    Panel panel(plugin.objectUuid().toString());
    QVERIFY2(panel.root, qPrintable(panel.errors));
    QTRY_COMPARE(driver.standingListeners().size(), 1);
    QCOMPARE(panel.root->property("name"), QVariant("Station 3"));
    QTRY_COMPARE(panel.root->property("connected"), QVariant(true));
    QTRY_COMPARE(panel.rows("idValues"), placeholderRows);
    const QStringList deviceInfo{"Plug-in=Plugin Device Stahlwille",
                                 "Instance=" + plugin.objectUuid().toString(),
                                 "Driver=Scripted driver"};
    QTRY_COMPARE(panel.rows("idDeviceInfoListView"), deviceInfo);

    driver.sendFrame(goodLine);
    QTRY_COMPARE(panel.rows("idValues"),
                 QStringList({"Event number=0042", "Execution time=1.25s",
                              "Internal date/time=05Mar24 10:42", "Sign==", "Torque=12.5 Nm"}));

    QTest::ignoreMessage(QtDebugMsg, "No match found.");
    driver.sendFrame("0042 12.50 Nm");
    QTRY_COMPARE(panel.evaluate("idValues.count"), QVariant(0));
    QCOMPARE(panel.rows("idDeviceInfoListView"), deviceInfo);
}

QTEST_MAIN(TstMaintenancePanel)
#include "tst_maintenance_panel.moc"
