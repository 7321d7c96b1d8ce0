#include <command_bench.h>
#include <utilities.h>

#include <QtTest>

// The built library loaded the way a host does, and the nine commands that
// the plug-in declares, as the host's order engine sees them.
class TstPluginEntry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
        // A second initialisation rebuilds the commands instead of doubling them.
        QSignalSpy announced(&m_plugin, &DAbstractPlugin::sigCommandsInitDone);
        m_plugin.initPluginCommands();
        m_plugin.initPluginCommands();
        QCOMPARE(announced.size(), 2);
        QCOMPARE(announced[1], QVariantList({m_uuid, m_plugin.commandNames()}));
        QCOMPARE(m_plugin.commandNames().size(), 9);
        QCOMPARE(m_plugin.findChildren<DAbstractCommand*>().size(), 9);
    }

    void metadataBlockIsAReleaseBuilds() {
        const QString iid = "org.wrenchline.plugins.device.PDeviceStahlwille";
        QCOMPARE(m_loader.metaData().value("IID").toString(), iid);
        // Byte for byte: a release build of Qt 5.15, then only the IID (2) and
        // the class name (3), so no JSON metadata (4).
        const QByteArray expected = QByteArray("QTMETADATA !\0\x05\x0f\0\xbf\x02", 18) +
                                    QCborValue(iid).toCbor() + '\x03' +
                                    QCborValue("PDeviceStahlwille").toCbor() + '\xff';
        const auto query = reinterpret_cast<const char* (*)()>(
            QLibrary(WRENCH_PLUGIN_FILE).resolve("qt_plugin_query_metadata"));
        QVERIFY(query);
        QCOMPARE(QByteArray(query(), expected.size()), expected);
    }

    void identity() {
        auto* root = qobject_cast<IPlugin*>(m_loader.instance());
        QVERIFY(root && qobject_cast<PDeviceStahlwille*>(root->pluginObject()));
        QCOMPARE(root->pluginUuid(), QUuid("{0ba12e45-e44b-4f6a-8202-d8eb318f4f25}"));
        QCOMPARE(QByteArray(root->pluginName()), QByteArray("Plugin Device Stahlwille"));
        QCOMPARE(quint32(root->pluginType()), quint32(0x44657669)); // "Devi"
        QCOMPARE(root->pluginVersion(), versionFromString("1.0", nullptr, '.'));
        QVERIFY(root->pluginSubTypeName() && !*root->pluginSubTypeName());
        const QVariant typeName =
            qobject_cast<DAbstractPlugin*>(m_loader.instance())->getProperty("typeName");
        QVERIFY(typeName.userType() == QMetaType::QString && typeName.toString() == "" &&
                !typeName.toString().isNull());
        const QUuid uuid("{6f1d2c3e-0000-4000-8000-00000000beef}");
        QScopedPointer<IPlugin> made(root->createInstance(uuid));
        QVERIFY(qobject_cast<PDeviceStahlwille*>(made->pluginObject()));
        QCOMPARE(made->objectUuid(), uuid);
    }

    void signature_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("stopName");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("parameters");
        QTest::addColumn<QStringList>("results");

        const QString serialId = "serialId strg \"The serial ID of the device\" = QString()";
        const QString doneOk = "doneOk bool \"Command success status \" = bool(false)";
        const QString cmdSuccess = "cmd_success bool \"Command success status \" = bool(false)";
        const QString failed = "failed bool \"Command failed status\" = bool(false)";

        int row = 0;
        const auto command = [&row](const char* name, const char* stopName, const char* description,
                                    const QStringList& parameters, const QStringList& results) {
            QTest::newRow(name) << row++ << QString(stopName) << QString(description) << parameters
                                << results;
        };
        command("listenEventsData", "stopListening",
                "Listen to tightening data from Stahlwille device", {serialId},
                {"eventData varM \"Tightening data\" = invalid"});
        command("getPresetData", "", "Get the configuration of a preset in the config file",
                {"program uint \"The id of the preset\" = int(1)"},
                {"cmd_success bool \"Success of the command\" = bool(false)",
                 "presetData varM \"the presets data\" = invalid"});
        command("setLock", "stopSetLock", "Lock or unlock the Stahlwille device",
                {serialId, "lock bool \"True to lock, false to unlock\" = invalid"},
                {doneOk, failed});
        command("setScreenLock", "", "Lock or unlock the Stahlwille device screen",
                {serialId, "lock bool \"True to lock (DKS), false to unlock (EKS)\" = invalid"},
                {doneOk, failed});
        command("setProgram", "stopSetProgram", "Set the program on the Stahlwille device",
                {serialId, "program uint \"The id of the preset\" = int(1)"}, {cmdSuccess, failed});
        command("setKeepAliveFonction", "", "Set the keep alive function parameters",
                {serialId, "frame byAr \"Binary frame to send\" = invalid",
                 "responseFrame byAr \"Expected NACK frame\" = invalid",
                 "timeout int \"Keep alive timeout\" = int(5000)",
                 "parallelListening bool \"Enable raw binary mode\" = bool(false)"},
                {cmdSuccess});
        // The connection check alone declares its serial ID without a default.
        command("checkConnectionWithSerial", "stopCheck",
                "Check connection with device using serial ID and retries",
                {"serialId strg \"The serial ID of the device\" = invalid"}, {doneOk, failed});
        command("setInitConfig", "stopInitConfig", "Reset program on the Stahlwille device",
                {serialId}, {doneOk, failed});
        command("setParallelListening", "", "Enable or disable parallel listening mode",
                {serialId, "parallelListening bool \"Enable parallel listening\" = bool(false)"},
                {cmdSuccess});
    }

    void signature() {
        QFETCH(int, row);
        const QString name = QTest::currentDataTag();
        QCOMPARE(m_plugin.commandNames().value(row), name);
        DAbstractCommand* prototype = m_plugin.commandPrototype(name);
        QVERIFY(prototype);
        QTEST(prototype->stopCommandName(), "stopName");
        QTEST(prototype->description(), "description");
        QTEST(describe(prototype->declaredParameters()), "parameters");
        QTEST(describe(prototype->declaredResults()), "results");
    }

private:
    QPluginLoader m_loader{WRENCH_PLUGIN_FILE};
    // "name type "description" = default", the default with its type.
    static QStringList describe(const QList<DAbstractCommand::Declaration>& declarations) {
        QStringList lines;
        for (const auto& declaration : declarations) {
            lines.append(QString("%1 %2 \"%3\" = %4")
                             .arg(declaration.name, declaration.type, declaration.description,
                                  describeValue(declaration.defaultValue)));
        }
        return lines;
    }

    const QUuid m_uuid{"{11111111-2222-4333-8444-555555555555}"};
    PDeviceStahlwille m_plugin{m_uuid};
};

QTEST_GUILESS_MAIN(TstPluginEntry)
#include "tst_plugin_entry.moc"
