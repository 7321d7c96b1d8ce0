#include <d_abstract_command.h>
#include <p_device_stahlwille.h>

#include <QtTest>

// The nine commands the plug-in declares, as the host's order engine sees them.
class TstCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QSignalSpy announced(&m_plugin, &DAbstractPlugin::sigCommandsInitDone);
        m_plugin.initPluginCommands();
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced[0], QVariantList({m_uuid, m_plugin.commandNames()}));
    }

    void secondInitRebuildsInsteadOfDoubling() {
        PDeviceStahlwille plugin(m_uuid);
        plugin.initPluginCommands();
        plugin.initPluginCommands();
        QCOMPARE(plugin.commandNames(), m_plugin.commandNames());
        QCOMPARE(plugin.findChildren<DAbstractCommand*>().size(), 9);
    }

    void signature_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("stopName");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("parameters");
        QTest::addColumn<QStringList>("results");

        const QString serialId = "serialId strg \"The serial ID of the device\" = \"\"";
        const QString doneOk = "doneOk bool \"Command success status \" = false";
        const QString cmdSuccess = "cmd_success bool \"Command success status \" = false";
        const QString failed = "failed bool \"Command failed status\" = false";

        QTest::newRow("listenEventsData")
            << 0 << "stopListening"
            << "Listen to tightening data from Stahlwille device" << QStringList{serialId}
            << QStringList{"eventData varM \"Tightening data\" = invalid"};
        QTest::newRow("getPresetData")
            << 1 << ""
            << "Get the configuration of a preset in the config file"
            << QStringList{"program uint \"The id of the preset\" = 1"}
            << QStringList{"cmd_success bool \"Success of the command\" = false",
                           "presetData varM \"the presets data\" = invalid"};
        QTest::newRow("setLock") << 2 << "stopSetLock"
                                 << "Lock or unlock the Stahlwille device"
                                 << QStringList{serialId,
                                                "lock bool \"True to lock, false to unlock\" = "
                                                "invalid"}
                                 << QStringList{doneOk, failed};
        QTest::newRow("setScreenLock")
            << 3 << ""
            << "Lock or unlock the Stahlwille device screen"
            << QStringList{serialId,
                           "lock bool \"True to lock (DKS), false to unlock (EKS)\" = invalid"}
            << QStringList{doneOk, failed};
        QTest::newRow("setProgram")
            << 4 << "stopSetProgram"
            << "Set the program on the Stahlwille device"
            << QStringList{serialId, "program uint \"The id of the preset\" = 1"}
            << QStringList{cmdSuccess, failed};
        QTest::newRow("setKeepAliveFonction")
            << 5 << ""
            << "Set the keep alive function parameters"
            << QStringList{serialId, "frame byAr \"Binary frame to send\" = invalid",
                           "responseFrame byAr \"Expected NACK frame\" = invalid",
                           "timeout int \"Keep alive timeout\" = 5000",
                           "parallelListening bool \"Enable raw binary mode\" = false"}
            << QStringList{cmdSuccess};
        // The connection check alone declares its serial ID without a default.
        QTest::newRow("checkConnectionWithSerial")
            << 6 << "stopCheck"
            << "Check connection with device using serial ID and retries"
            << QStringList{"serialId strg \"The serial ID of the device\" = invalid"}
            << QStringList{doneOk, failed};
        QTest::newRow("setInitConfig") << 7 << "stopInitConfig"
                                       << "Reset program on the Stahlwille device"
                                       << QStringList{serialId} << QStringList{doneOk, failed};
        QTest::newRow("setParallelListening")
            << 8 << ""
            << "Enable or disable parallel listening mode"
            << QStringList{serialId, "parallelListening bool \"Enable parallel listening\" = false"}
            << QStringList{cmdSuccess};
    }

    void signature() {
        QFETCH(int, row);
        const QString name = QTest::currentDataTag();
        QCOMPARE(m_plugin.commandNames().value(row), name);
        DAbstractCommand* prototype = m_plugin.commandPrototype(name);
        QVERIFY(prototype);
        QCOMPARE(prototype->parent(), &m_plugin);
        QVERIFY(prototype->commandArguments().isEmpty());
        QCOMPARE(prototype->commandName(), name);
        QTEST(prototype->stopCommandName(), "stopName");
        QTEST(prototype->description(), "description");
        QTEST(describe(prototype->declaredParameters()), "parameters");
        QTEST(describe(prototype->declaredResults()), "results");
    }

    void nineInAll() { QCOMPARE(m_plugin.commandNames().size(), 9); }

private:
    // "name type "description" = default", the default with its type: text in
    // quotes, numbers and booleans bare, an invalid variant as "invalid".
    static QStringList describe(const QList<DAbstractCommand::Declaration>& declarations) {
        QStringList lines;
        for (const auto& declaration : declarations) {
            lines.append(QString("%1 %2 \"%3\" = %4")
                             .arg(declaration.name, declaration.type, declaration.description,
                                  defaultText(declaration.defaultValue)));
        }
        return lines;
    }

    static QString defaultText(const QVariant& value) {
        if (!value.isValid()) {
            return "invalid";
        }
        if (value.userType() == QMetaType::QString) {
            return '"' + value.toString() + '"';
        }
        return value.toString();
    }

    const QUuid m_uuid{"{11111111-2222-4333-8444-555555555555}"};
    PDeviceStahlwille m_plugin{m_uuid};
};

QTEST_GUILESS_MAIN(TstCatalogue)
#include "tst_catalogue.moc"
