#include <d_abstract_command.h>
#include <p_device_stahlwille.h>
#include <utilities.h>

#include <QtTest>

// Loads the built library the way a host does.
class TstPluginEntry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString())); }

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
        const QUuid uuid("{6f1d2c3e-0000-4000-8000-00000000beef}");
        QScopedPointer<IPlugin> made(root->createInstance(uuid));
        QVERIFY(qobject_cast<PDeviceStahlwille*>(made->pluginObject()));
        QCOMPARE(made->objectUuid(), uuid);
    }

private:
    QPluginLoader m_loader{WRENCH_PLUGIN_FILE};
};

QTEST_GUILESS_MAIN(TstPluginEntry)
#include "tst_plugin_entry.moc"
