#include <d_tightening_record.h>

#include <QtTest>

using Map = QVariantMap;

const QByteArray line = "7,1234,1200,60,40,455,900,50,30,x,1700000000,ok,Track,Click,NM";

const QVariantMap decoded{
    {"convertedTorque", 123.4}, {"setpointTorque", 120.0}, {"torqueTolPos", 6.0},
    {"torqueTolNeg", 4.0},      {"snugTorqueAngle", 45.5}, {"setpointAngle", 90.0},
    {"angleTolPos", 5.0},       {"angleTolNeg", 3.0},      {"timestamp", 1700000000},
    {"eventStatus", "OK"},      {"mode", "Track"},         {"method", "Click"},
    {"torqueUnit", "nm"},       {"eventCountNo", 12}};

class TstTighteningRecord : public QObject {
    Q_OBJECT

private slots:
    void decodesFifteenFields() {
        QCOMPARE(DTighteningRecord::eventData(line, 12, std::nullopt), decoded);
        QVariantMap withPreset = decoded;
        withPreset.insert("presetNo", 4);
        QCOMPARE(DTighteningRecord::eventData(line + ",a,b,c,d,e", 12, 4), withPreset);
        const QByteArray fourteenFields = line.left(line.lastIndexOf(','));
        QVERIFY(!DTighteningRecord::isRecordLine(fourteenFields));
        QVERIFY(DTighteningRecord::eventData(fourteenFields, 1, 4).isEmpty());
        QVERIFY(DTighteningRecord::isRecordLine(QByteArray(14, ',')));
    }

    // One field changed: that value, of that type, and every other as before.
    void fieldConversions_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Map>("changed");
        QTest::newRow("negative") << 3 << QByteArray("-5") << Map{{"torqueTolPos", -0.5}};
        QTest::newRow("point") << 8 << QByteArray("2.5") << Map{{"angleTolNeg", 0.25}};
        QTest::newRow("letters") << 4 << QByteArray("4x") << Map{{"torqueTolNeg", 0.0}};
        QTest::newRow("nan") << 1 << QByteArray("nan") << Map{{"convertedTorque", 0.0}};
        QTest::newRow("inf") << 5 << QByteArray("-inf") << Map{{"snugTorqueAngle", 0.0}};
        QTest::newRow("1e999") << 6 << QByteArray("1e999") << Map{{"setpointAngle", 0.0}};
        QTest::newRow("beyond int") << 10 << QByteArray("2147483648") << Map{{"timestamp", 0}};
        QTest::newRow("not scientific") << 10 << QByteArray("1e3") << Map{{"timestamp", 0}};
        QTest::newRow("UTF-8") << 11 << QByteArray("\xc3\xa4") << Map{{"eventStatus", "\u00c4"}};
        QTest::newRow("NUL") << 11 << QByteArray("o\0k", 3) << Map{{"eventStatus", "O"}};
    }

    void fieldConversions() {
        QFETCH(int, field);
        QFETCH(QByteArray, bytes);
        QFETCH(Map, changed);
        QList<QByteArray> fields = line.split(',');
        fields[field] = bytes;
        QVariantMap expected = decoded;
        expected.insert(changed);
        const QVariantMap data = DTighteningRecord::eventData(fields.join(','), 12, std::nullopt);
        QCOMPARE(data, expected);
        QCOMPARE(data[changed.firstKey()].userType(), changed.first().userType());
    }
};

QTEST_GUILESS_MAIN(TstTighteningRecord)
#include "tst_tightening_record.moc"
