#include <d_tightening_record.h>

#include <QtTest>

namespace {

// A saved tightening as the wrench sends it, with fields changed by index.
QByteArray recordLine(const QMap<int, QByteArray>& changes = {}, int fieldCount = 15) {
    QList<QByteArray> fields{"7",  "1234", "1200",       "60", "40",    "455",   "900", "50",
                             "30", "x",    "1700000000", "ok", "Track", "Click", "NM"};
    while (fields.size() < fieldCount) {
        fields.append("extra");
    }
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        fields[it.key()] = it.value();
    }
    return fields.mid(0, fieldCount).join(',');
}

} // namespace

class TstTighteningRecord : public QObject {
    Q_OBJECT

private slots:
    void decodesEveryField();
    void fieldConversions_data();
    void fieldConversions();
    void recordLineNeedsFifteenFields();
};

void TstTighteningRecord::decodesEveryField() {
    const QVariantMap expected{
        {"convertedTorque", 123.4}, {"setpointTorque", 120.0}, {"torqueTolPos", 6.0},
        {"torqueTolNeg", 4.0},      {"snugTorqueAngle", 45.5}, {"setpointAngle", 90.0},
        {"angleTolPos", 5.0},       {"angleTolNeg", 3.0},      {"timestamp", 1700000000},
        {"eventStatus", "OK"},      {"mode", "Track"},         {"method", "Click"},
        {"torqueUnit", "nm"},       {"eventCountNo", 12}};
    const QVariantMap data = DTighteningRecord::eventData(recordLine(), 12, std::nullopt);
    QCOMPARE(data, expected);
    QCOMPARE(data.value("convertedTorque").userType(), int(QMetaType::Double));
    QCOMPARE(data.value("timestamp").userType(), int(QMetaType::Int));
    QCOMPARE(data.value("eventStatus").userType(), int(QMetaType::QString));

    QVariantMap withPreset = expected;
    withPreset.insert("presetNo", 4);
    QCOMPARE(DTighteningRecord::eventData(recordLine(), 12, 4), withPreset);
    QCOMPARE(DTighteningRecord::eventData(recordLine({}, 20), 12, 4), withPreset);
    QCOMPARE(DTighteningRecord::key(recordLine({}, 20)), QByteArray("1700000000"));
}

void TstTighteningRecord::fieldConversions_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("tenths") << 1 << QByteArray("1234") << "convertedTorque" << QVariant(123.4);
    QTest::newRow("negative") << 3 << QByteArray("-5") << "torqueTolPos" << QVariant(-0.5);
    QTest::newRow("decimal point") << 8 << QByteArray("2.5") << "angleTolNeg" << QVariant(0.25);
    QTest::newRow("blanks around") << 6 << QByteArray(" 90 ") << "setpointAngle" << QVariant(9.0);
    QTest::newRow("empty number") << 2 << QByteArray() << "setpointTorque" << QVariant(0.0);
    QTest::newRow("letters") << 4 << QByteArray("4x") << "torqueTolNeg" << QVariant(0.0);
    QTest::newRow("plus sign") << 7 << QByteArray("+5") << "angleTolPos" << QVariant(0.5);
    QTest::newRow("nan") << 1 << QByteArray("nan") << "convertedTorque" << QVariant(0.0);
    QTest::newRow("inf") << 1 << QByteArray("-inf") << "convertedTorque" << QVariant(0.0);
    QTest::newRow("beyond double")
        << 1 << QByteArray("1e999") << "convertedTorque" << QVariant(0.0);
    QTest::newRow("timestamp letters") << 10 << QByteArray("abc") << "timestamp" << QVariant(0);
    QTest::newRow("timestamp max")
        << 10 << QByteArray("2147483647") << "timestamp" << QVariant(2147483647);
    QTest::newRow("timestamp beyond 32 bits")
        << 10 << QByteArray("2147483648") << "timestamp" << QVariant(0);
    QTest::newRow("timestamp not scientific")
        << 10 << QByteArray("1e3") << "timestamp" << QVariant(0);
    QTest::newRow("status upper-cased")
        << 11 << QByteArray("nok") << "eventStatus" << QVariant("NOK");
    QTest::newRow("status UTF-8") << 11 << QByteArray("\xc3\xa4") << "eventStatus"
                                  << QVariant("\u00c4");
    QTest::newRow("status ends at NUL")
        << 11 << QByteArray("o\0k", 3) << "eventStatus" << QVariant("O");
    QTest::newRow("mode keeps case") << 12 << QByteArray("tRaCk") << "mode" << QVariant("tRaCk");
    QTest::newRow("method keeps case")
        << 13 << QByteArray("ANGLE") << "method" << QVariant("ANGLE");
    QTest::newRow("unit lower-cased")
        << 14 << QByteArray("FT.LB") << "torqueUnit" << QVariant("ft.lb");
}

void TstTighteningRecord::fieldConversions() {
    QFETCH(int, field);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, key);
    QFETCH(QVariant, value);

    const QVariantMap data =
        DTighteningRecord::eventData(recordLine({{field, bytes}}), 1, std::nullopt);
    QCOMPARE(data.size(), 14);
    QCOMPARE(data.value(key), value);
    QCOMPARE(data.value(key).userType(), value.userType());
}

void TstTighteningRecord::recordLineNeedsFifteenFields() {
    const QByteArray fourteenFields = recordLine({}, 14);
    QVERIFY(!DTighteningRecord::isRecordLine(fourteenFields));
    QVERIFY(DTighteningRecord::eventData(fourteenFields, 1, 4).isEmpty());
    QCOMPARE(DTighteningRecord::key(fourteenFields), QByteArray());

    const QByteArray emptyFields(14, ',');
    QVERIFY(DTighteningRecord::isRecordLine(emptyFields));
    QCOMPARE(DTighteningRecord::key(emptyFields), QByteArray());
    QCOMPARE(DTighteningRecord::eventData(emptyFields, 1, std::nullopt).value("torqueUnit"),
             QVariant(QString()));
}

QTEST_GUILESS_MAIN(TstTighteningRecord)
#include "tst_tightening_record.moc"
