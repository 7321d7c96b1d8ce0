#include <command_bench.h>

#include <QtTest>

class TstPresetData : public QObject {
    Q_OBJECT

private slots:
    // The record stored as preset "3" (beside "0") and the "program" asked for;
    // what the record comes back with as "presetNo|targetAngle|torque|torque_str",
    // or "" when nothing is found.
    void lookup_data() {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QVariant>("program");
        QTest::addColumn<QString>("added");
        const auto row = [](const char* tag, const QVariantMap& record, const QVariant& program,
                            const char* added) {
            QTest::newRow(tag) << record << program << QString(added);
        };
        const QVariantMap example{{"angle", 30}, {"targetTorque", 12.5}, {"priority", "angle"}};
        const char* found = "3|30|1250|30\u00B0 (12.5Nm)";
        row("angle first", example, 3, found);
        row("torque first for Angle",
            {{"angle", 30}, {"targetTorque", 12.5}, {"priority", "Angle"}}, 3,
            "3|30|1250|12.5Nm (30\u00B0)");
        row("6 digits", {{"angle", 1234567}, {"targetTorque", 0.1 + 0.2}}, 3,
            "3|1234567|30.000000000000004|0.3Nm (1.23457e+06\u00B0)");
        row("program as a JSON number", example, 3.0, found);
        row("program absent takes the declared 1", example, QVariant(), "");
        row("negative program", example, -1, "0|0|0");
        row("program beyond 32 bits", example, Q_INT64_C(4294967299), "0|0|0");
        row("double beyond 32 bits", example, 4294967299.0, "0|0|0");
        row("program nan", example, qQNaN(), "0|0|0");
        row("no entry", example, 4, "");
        row("torque 0: no text", {{"angle", 30}, {"targetTorque", 0}}, 3, "3|30|0");
        row("negative angle", {{"angle", -30}, {"targetTorque", 12.5}}, 3, "3|-30|1250");
        row("negative torque", {{"angle", 30}, {"targetTorque", -2}}, 3, "3|30|-200");
        row("torque not rounded", {{"targetTorque", 0.125}}, 3, "3|0|12.5");
        row("text", {{"angle", "30"}, {"targetTorque", "12.5"}, {"priority", "angle"}}, 3, found);
        row("stale keys overwritten, old text kept",
            {{"presetNo", "9"}, {"torque", 1}, {"targetAngle", 1}, {"torque_str", "x"}}, 3,
            "3|0|0");
    }

    void lookup() {
        QFETCH(QVariantMap, record);
        QFETCH(QVariant, program);
        QFETCH(QString, added);
        const QVariantMap presets{{"3", record}, {"0", QVariantMap{{"name", "zero"}}}};
        CommandBench bench("getPresetData",
                           program.isValid() ? QVariantMap{{"program", program}} : QVariantMap(),
                           {{"presets", presets}});
        QVERIFY(!bench.plugin.commandPrototype("getPresetData")->commandExecute());
        QVERIFY(bench.execute());
        QCOMPARE(bench.updates.size(), 2);
        QCOMPARE(bench.result("cmd_success"), QVariant(!added.isEmpty()));
        // The record comes back whole, with the three keys (and the text) added.
        const QVariantMap data = bench.result("presetData").toMap();
        const QStringList field = added.split('|');
        QVariantMap expected = presets.value(field[0]).toMap();
        if (field.size() > 2) {
            expected.insert({{"presetNo", field[0]}, {"targetAngle", field[1].toDouble()}});
            expected.insert("torque", field[2].toDouble());
            QCOMPARE(QString(data["presetNo"].typeName()) + data["targetAngle"].typeName(),
                     QString("QStringdouble"));
        }
        if (field.size() > 3) {
            expected.insert("torque_str", field[3]);
        }
        QCOMPARE(data, expected);
    }
};

QTEST_GUILESS_MAIN(TstPresetData)
#include "tst_preset_data.moc"
