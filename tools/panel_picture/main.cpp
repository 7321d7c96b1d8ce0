// Renders the wrench's maintenance panel offscreen, as the host's maintenance
// view shows it after one printed result line, and writes it as a PNG.
//
//   panel_picture OUTPUT.png
//
// The panel comes from the plug-in library's resource; the host components
// come from qrc:/panels and qrc:/widgets; a scripted driver plays the wrench.

#include <be_maintenance_plugin.h>
#include <p_device_stahlwille.h>
#include <p_scripted_driver.h>

#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest/QTest>

#include <cstdio>
#include <memory>

namespace {

const char* panelPath = ":/{0ba12e45-e44b-4f6a-8202-d8eb318f4f25}/maintenance_panel.qml";
const QByteArray sampleLine = "0042 12.50 Nm = 1.25 10:42 05Mar24";
constexpr int panelWidth = 440;
constexpr int margin = 24; // the host view's margin, where the panel's frame is drawn

// The host's catalogue for the one text identifier that the panel uses.
class HostTranslator : public QTranslator {
public:
    QString translate(const char*, const char* sourceText, const char*, int) const override {
        return qstrcmp(sourceText, "maintenance_panel_Controller_Status") == 0
                   ? QStringLiteral("Controller Status")
                   : QString();
    }
    bool isEmpty() const override { return false; }
};

int fail(const QString& message) {
    std::fprintf(stderr, "panel_picture: %s\n", qPrintable(message));
    return 1;
}

// The panel text with the placeholders filled in, as the host does it.
QByteArray panelSource(const QUuid& objectId) {
    QFile file(panelPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray text = file.readAll();
    text.replace("{OBJECT_NAME}", "Wrench station 3");
    text.replace("{OBJECT_ID}", objectId.toString().toUtf8());
    text.replace("{OBJECT_REFERENCE}", "ST-0003");
    return text;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        return fail("usage: panel_picture OUTPUT.png");
    }
    HostTranslator translator;
    app.installTranslator(&translator);

    PDeviceStahlwille plugin(QUuid("{5d1c1f40-2b1e-4c3a-9e57-3f0b6a1d2c44}"));
    PScriptedDriver driver;
    plugin.setDriver(&driver);

    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(panelSource(plugin.objectUuid()), QUrl(QString("qrc") + panelPath));
    std::unique_ptr<QQuickItem> panel(qobject_cast<QQuickItem*>(component.create()));
    if (!panel) {
        return fail(component.errorString());
    }

    QQuickWindow window;
    window.setColor(QColor("#eef1f4"));
    panel->setParentItem(window.contentItem());
    panel->setPosition({margin, margin});
    panel->setWidth(panelWidth);
    window.contentItem()->setSize({panelWidth + 2.0 * margin, 1.0});
    window.show();

    if (!QTest::qWaitFor([&] { return !driver.standingListeners().isEmpty(); }, 5000)) {
        return fail("the backend did not start listening");
    }
    QSignalSpy result(panel->findChild<BeMaintenanceDeviceStahlwille*>(),
                      &BeMaintenanceDeviceStahlwille::channelsModelChanged);
    driver.sendFrame(sampleLine);
    if (!result.wait(5000)) {
        return fail("the sample line did not arrive");
    }
    // Once a frame has laid the lists out, the panel knows its height.
    QSignalSpy frames(&window, &QQuickWindow::frameSwapped);
    window.update();
    frames.wait(5000);
    const QSizeF size(panelWidth + 2.0 * margin, panel->height() + 2.0 * margin);
    window.resize(size.toSize());
    window.contentItem()->setSize(size);
    frames.wait(5000);

    const QSharedPointer<QQuickItemGrabResult> grab = window.contentItem()->grabToImage();
    if (!grab || !QTest::qWaitFor([&] { return !grab->image().isNull(); }, 5000)) {
        return fail("nothing was rendered");
    }
    if (!grab->image().save(QString::fromLocal8Bit(argv[1]))) {
        return fail(QString("cannot write ") + argv[1]);
    }
    std::printf("panel_picture: wrote %s (%dx%d)\n", argv[1], grab->image().width(),
                grab->image().height());
    return 0;
}
