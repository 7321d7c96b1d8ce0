#include <d_cmd_get_preset_data.h>
#include <p_device_stahlwille.h>

#include <QtTest>

#include <limits>

class TstPresetData : public QObject {
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void refusedRunPublishesNothing();
};

namespace {

const QVariantMap example{{"angle", 30}, {"targetTorque", 12.5}, {"priority", "angle"}};

QVariantMap with(QVariantMap record, const QVariantMap& changes) {
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        record.insert(it.key(), it.value());
    }
    return record;
}

// What a looked-up record comes back as, before its display text.
QVariantMap enriched(const QVariantMap& record, const QString& presetNo, double angle,
                     double torque) {
    return with(record, {{"presetNo", presetNo}, {"targetAngle", angle}, {"torque", torque}});
}

} // namespace

void TstPresetData::lookup_data() {
    QTest::addColumn<QVariant>("presets");
    QTest::addColumn<QVariantMap>("arguments");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QVariantMap>("presetData");

    const QVariantMap table{{"3", example}, {"0", QVariantMap{{"name", "zero"}}}};
    const QVariantMap three{{"program", 3}};
    const QVariantMap zero = enriched({{"name", "zero"}}, "0", 0, 0);
    const QVariantMap found = with(enriched(example, "3", 30, 1250),
                                   {{"torque_str", QStringLiteral("30\u00B0 (12.5Nm)")}});
    const auto one = [](const QVariantMap& record) {
        return QVariantMap{{"3", record}};
    };

    QTest::newRow("angle first text") << QVariant(table) << three << true << found;
    QTest::newRow("torque first text for Angle")
        << QVariant(one(with(example, {{"priority", "Angle"}}))) << three << true
        << with(enriched(with(example, {{"priority", "Angle"}}), "3", 30, 1250),
                {{"torque_str", QStringLiteral("12.5Nm (30\u00B0)")}});
    QTest::newRow("six significant digits")
        << QVariant(one({{"angle", 1234567}, {"targetTorque", 0.1 + 0.2}})) << three << true
        << enriched({{"angle", 1234567},
                     {"targetTorque", 0.1 + 0.2},
                     {"torque_str", QStringLiteral("0.3Nm (1.23457e+06\u00B0)")}},
                    "3", 1234567, (0.1 + 0.2) * 100);
    QTest::newRow("table in the arguments")
        << QVariant() << with(three, {{"presets", table}}) << true << found;
    QTest::newRow("program as text")
        << QVariant(table) << QVariantMap{{"program", "3"}} << true << found;
    QTest::newRow("program as a JSON number")
        << QVariant(table) << QVariantMap{{"program", 3.0}} << true << found;

    QTest::newRow("program absent reads 0") << QVariant(table) << QVariantMap() << true << zero;
    QTest::newRow("program not a number reads 0")
        << QVariant(table) << QVariantMap{{"program", "three"}} << true << zero;
    QTest::newRow("negative program reads 0")
        << QVariant(table) << QVariantMap{{"program", -1}} << true << zero;
    QTest::newRow("program beyond 32 bits does not wrap")
        << QVariant(table) << QVariantMap{{"program", Q_INT64_C(4294967299)}} << true << zero;
    QTest::newRow("program beyond 32 bits as a double")
        << QVariant(table) << QVariantMap{{"program", 4294967299.0}} << true << zero;
    QTest::newRow("program nan") << QVariant(table)
                                 << QVariantMap{{"program",
                                                 std::numeric_limits<double>::quiet_NaN()}}
                                 << true << zero;

    QTest::newRow("leading zeros never match")
        << QVariant(QVariantMap{{"03", example}}) << three << false << QVariantMap();
    QTest::newRow("no entry") << QVariant(table) << QVariantMap{{"program", 4}} << false
                              << QVariantMap();
    QTest::newRow("no table") << QVariant() << three << false << QVariantMap();
    QTest::newRow("table not a map") << QVariant("3") << three << false << QVariantMap();

    QTest::newRow("record not a map")
        << QVariant(QVariantMap{{"3", 7}}) << three << true << enriched({}, "3", 0, 0);
    QTest::newRow("torque 0: no text")
        << QVariant(one({{"angle", 30}, {"targetTorque", 0}})) << three << true
        << enriched({{"angle", 30}, {"targetTorque", 0}}, "3", 30, 0);
    QTest::newRow("negative angle copied, no text")
        << QVariant(one({{"angle", -30}, {"targetTorque", 12.5}})) << three << true
        << enriched({{"angle", -30}, {"targetTorque", 12.5}}, "3", -30, 1250);
    QTest::newRow("negative torque copied, no text")
        << QVariant(one({{"angle", 30}, {"targetTorque", -2}})) << three << true
        << enriched({{"angle", 30}, {"targetTorque", -2}}, "3", 30, -200);
    QTest::newRow("torque not rounded") << QVariant(one({{"targetTorque", 7.25}})) << three << true
                                        << enriched({{"targetTorque", 7.25}}, "3", 0, 725);
    QTest::newRow("small torque not rounded")
        << QVariant(one({{"targetTorque", 0.125}})) << three << true
        << enriched({{"targetTorque", 0.125}}, "3", 0, 12.5);
    QTest::newRow("numeric text")
        << QVariant(one({{"angle", "30"}, {"targetTorque", "12.5"}, {"priority", "angle"}}))
        << three << true
        << enriched({{"angle", "30"},
                     {"targetTorque", "12.5"},
                     {"priority", "angle"},
                     {"torque_str", QStringLiteral("30\u00B0 (12.5Nm)")}},
                    "3", 30, 1250);

    const QVariantMap carried{{"startTorque", 5}, {"angleTol", 2}, {"name", "M8"}};
    QTest::newRow("other keys carried")
        << QVariant(one(with(example, carried))) << three << true << with(found, carried);
    QTest::newRow("stale keys overwritten, old text kept")
        << QVariant(
               one({{"presetNo", "9"}, {"torque", 1}, {"targetAngle", 1}, {"torque_str", "x"}}))
        << three << true << enriched({{"torque_str", "x"}}, "3", 0, 0);
}

void TstPresetData::lookup() {
    QFETCH(QVariant, presets);
    QFETCH(QVariantMap, arguments);
    QFETCH(bool, success);
    QFETCH(QVariantMap, presetData);

    PDeviceStahlwille plugin;
    plugin.initPluginCommands();
    if (presets.isValid()) {
        plugin.setConfiguration({{"presets", presets}});
    }
    const auto run = plugin.commandPrototype("getPresetData")->createCommand(arguments);
    auto* command = dynamic_cast<DAbstractCommand*>(run.data());
    QSignalSpy updates(command, &DAbstractCommand::sigResultUpdated);

    QVERIFY(run->commandExecute());
    QCOMPARE(updates.size(), 2);
    QCOMPARE(command->commandResults().value("cmd_success"), QVariant(success));
    const QVariantMap published = command->commandResults().value("presetData").toMap();
    QCOMPARE(published, presetData);
    if (success) {
        QCOMPARE(published.value("presetNo").type(), QVariant::String);
        QCOMPARE(published.value("targetAngle").type(), QVariant::Double);
        QCOMPARE(published.value("torque").type(), QVariant::Double);
    }
}

void TstPresetData::refusedRunPublishesNothing() {
    PDeviceStahlwille plugin;
    plugin.initPluginCommands();
    plugin.setConfiguration({{"presets", QVariantMap{{"0", example}}}});
    auto* prototype = plugin.commandPrototype("getPresetData");
    QVERIFY(!prototype->commandExecute());
    QVERIFY(prototype->commandResults().isEmpty());
    QVERIFY(prototype->stopCommandName().isEmpty());
}

QTEST_GUILESS_MAIN(TstPresetData)
#include "tst_preset_data.moc"
