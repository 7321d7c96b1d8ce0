#include <d_abstract_command.h>
#include <p_device_stahlwille.h>
#include <utilities.h>

#include <QCborValue>
#include <QLibrary>
#include <QPluginLoader>
#include <QtTest>

#include <memory>

// Loads the built library the way a host does.
class TstPluginEntry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void metadataBlockIsAReleaseBuilds();
    void loaderReadsIdentity();
    void rootInstanceIsKeptAndRecreated();
    void rootInstanceIdentity();
    void createInstance_data();
    void createInstance();
    void catalogueIsAnnouncedOnce();
    void sourcePathsInLogsAreRelative();

private:
    QPluginLoader m_loader{WRENCH_PLUGIN_FILE};
};

void TstPluginEntry::initTestCase() {
    QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
}

void TstPluginEntry::metadataBlockIsAReleaseBuilds() {
    QLibrary library(WRENCH_PLUGIN_FILE);
    using Query = const char* (*)();
    auto query = reinterpret_cast<Query>(library.resolve("qt_plugin_query_metadata"));
    QVERIFY(query);
    const QString iid = m_loader.metaData().value("IID").toString();

    // The whole block, byte for byte: the two entries IID (2) and class name
    // (3) and nothing else, so no JSON metadata (4).
    QByteArray expected("QTMETADATA !");
    expected.append(char(0)).append(char(5)).append(char(15)).append(char(0));
    expected.append(char(0xbf));
    expected.append(char(0x02)).append(QCborValue(iid).toCbor());
    expected.append(char(0x03)).append(QCborValue("PDeviceStahlwille").toCbor());
    expected.append(char(0xff));
    QCOMPARE(QByteArray(query(), expected.size()), expected);
}

void TstPluginEntry::loaderReadsIdentity() {
    const QJsonObject metaData = m_loader.metaData();
    QCOMPARE(metaData.value("className").toString(), QString("PDeviceStahlwille"));
    const QStringList iid = metaData.value("IID").toString().split('.');
    QCOMPARE(iid.size(), 5);
    QCOMPARE(iid.last(), QString("PDeviceStahlwille"));
    QCOMPARE(metaData.value("debug").toBool(), false);
    QVERIFY(metaData.value("MetaData").toObject().isEmpty());
}

void TstPluginEntry::rootInstanceIsKeptAndRecreated() {
    using Instance = QObject* (*)();
    auto instance =
        reinterpret_cast<Instance>(QLibrary(WRENCH_PLUGIN_FILE).resolve("qt_plugin_instance"));
    QVERIFY(instance);

    QObject* first = instance();
    QVERIFY(first);
    QCOMPARE(instance(), first);
    QCOMPARE(m_loader.instance(), first);
    QVERIFY(!first->parent());

    delete first;
    QObject* second = instance();
    QVERIFY(second);
    QVERIFY(qobject_cast<PDeviceStahlwille*>(second));
    QCOMPARE(instance(), second);
}

void TstPluginEntry::rootInstanceIdentity() {
    auto* plugin = qobject_cast<IPlugin*>(m_loader.instance());
    QVERIFY(plugin);
    QCOMPARE(plugin->objectUuid(), QUuid());
    QCOMPARE(plugin->pluginUuid(), QUuid("{0ba12e45-e44b-4f6a-8202-d8eb318f4f25}"));
    QCOMPARE(QByteArray(plugin->pluginName()), QByteArray("Plugin Device Stahlwille"));
    QCOMPARE(quint32(plugin->pluginType()), quint32(0x44657669));
    QCOMPARE(plugin->pluginVersion(), versionFromString("1.0", nullptr, '.'));
    QVERIFY(plugin->pluginSubTypeName());
    QCOMPARE(QByteArray(plugin->pluginSubTypeName()), QByteArray(""));

    QObject* object = plugin->pluginObject();
    QCOMPARE(object->metaObject()->className(), "PDeviceStahlwille");
    QVERIFY(object->qt_metacast("PDeviceStahlwille"));
    QVERIFY(object->inherits("DAbstractPlugin"));

    auto* storage = qobject_cast<DAbstractPlugin*>(object);
    bool found = false;
    const QVariant typeName = storage->getProperty("typeName", &found);
    QVERIFY(found);
    QCOMPARE(typeName.userType(), int(QMetaType::QString));
    QVERIFY(typeName.toString().isEmpty());

    QCOMPARE(PDeviceStahlwille::getPluginId(), plugin->pluginUuid());
    QCOMPARE(QByteArray(PDeviceStahlwille::getPluginName()), QByteArray(plugin->pluginName()));
    QCOMPARE(PDeviceStahlwille::getPluginType(), plugin->pluginType());
}

void TstPluginEntry::createInstance_data() {
    QTest::addColumn<QUuid>("instanceUuid");
    QTest::newRow("null UUID") << QUuid();
    QTest::newRow("given UUID") << QUuid("{6f1d2c3e-0000-4000-8000-00000000beef}");
}

void TstPluginEntry::createInstance() {
    QFETCH(QUuid, instanceUuid);
    auto* root = qobject_cast<IPlugin*>(m_loader.instance());
    std::unique_ptr<IPlugin> made(root->createInstance(instanceUuid));
    QVERIFY(made);
    QVERIFY(made->pluginObject() != root->pluginObject());
    QVERIFY(!made->pluginObject()->parent());
    QCOMPARE(made->objectUuid(), instanceUuid);
    QCOMPARE(made->pluginUuid(), PDeviceStahlwille::getPluginId());

    made->initPluginCommands();
    auto* plugin = qobject_cast<DAbstractPlugin*>(made->pluginObject());
    QVERIFY(plugin->commandPrototype("checkConnectionWithSerial"));
}

void TstPluginEntry::catalogueIsAnnouncedOnce() {
    const QUuid uuid("{11111111-2222-4333-8444-555555555555}");
    PDeviceStahlwille plugin(uuid);
    QSignalSpy announced(&plugin, &DAbstractPlugin::sigCommandsInitDone);
    plugin.initPluginCommands();
    QCOMPARE(announced.size(), 1);
    QCOMPARE(announced[0][0].toUuid(), uuid);
    QCOMPARE(announced[0][1].toStringList(), plugin.commandNames());
    for (auto* prototype : plugin.commandPrototypes()) {
        QCOMPARE(prototype->parent(), &plugin);
        QVERIFY(prototype->commandArguments().isEmpty());
    }

    // A second call rebuilds the catalogue instead of doubling it.
    const QStringList names = plugin.commandNames();
    plugin.initPluginCommands();
    QCOMPARE(plugin.commandNames(), names);
    QCOMPARE(plugin.findChildren<DAbstractCommand*>().size(), names.size());
}

void TstPluginEntry::sourcePathsInLogsAreRelative() {
    // Log lines stream __FILE__; our targets map the checkout away.
    QVERIFY2(QByteArray(__FILE__).startsWith("tests/p_device_stahlwille/"), __FILE__);
}

QTEST_GUILESS_MAIN(TstPluginEntry)
#include "tst_plugin_entry.moc"
