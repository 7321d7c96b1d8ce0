#include <d_line_assembler.h>
#include <d_program_frame.h>
#include <d_tightening_record.h>

#include <QtTest>

using Lines = QList<QByteArray>;
using Map = QVariantMap;

const QByteArray line = "7,1234,1200,60,40,455,900,50,30,x,1700000000,ok,Track,Click,NM";

const QVariantMap decoded{
    {"convertedTorque", 123.4}, {"setpointTorque", 120.0}, {"torqueTolPos", 6.0},
    {"torqueTolNeg", 4.0},      {"snugTorqueAngle", 45.5}, {"setpointAngle", 90.0},
    {"angleTolPos", 5.0},       {"angleTolNeg", 3.0},      {"timestamp", 1700000000},
    {"eventStatus", "OK"},      {"mode", "Track"},         {"method", "Click"},
    {"torqueUnit", "nm"},       {"eventCountNo", 12}};

// The pieces of the line protocol on their own: lines cut from the driver's
// bytes, the tightening record decoded, the program frame built from a preset.
class TstLineProtocol : public QObject {
    Q_OBJECT

private slots:
    // The chunks fed in turn; the lines handed on, then the partial line left.
    void cutsLines_data() {
        QTest::addColumn<Lines>("chunks");
        QTest::addColumn<Lines>("lines");
        const QByteArray cap(DLineAssembler::maxLineLength, 'x'), flood(64 * 1024, 'g');
        QTest::newRow("line ends") << Lines{"", "W1", "OK\r", "\nW1?\n\r\n\r", "W1a\rW1b\rW1O"}
                                   << Lines{"W1OK", "W1?", "W1a", "W1b", "W1O"};
        QTest::newRow("NUL kept") << Lines{QByteArray("W1\0OK\r", 6)}
                                  << Lines{QByteArray("W1\0OK", 5), ""};
        QTest::newRow("at the cap") << Lines{cap + "\r"} << Lines{cap, ""};
        QTest::newRow("over the cap") << Lines{cap + "yW1OK\rW1OK\r"} << Lines{"W1OK", ""};
        QTest::newRow("over the cap, not ended") << Lines{cap + "y"} << Lines{""};
        QTest::newRow("over the cap across chunks, LF")
            << Lines{cap.left(3000), cap.left(3000), "OK\nW1OK", "\r"} << Lines{"W1OK", ""};
        QTest::newRow("flood") << Lines{flood, flood, flood, "\rW1OK\r"} << Lines{"W1OK", ""};
    }

    void cutsLines() {
        QFETCH(Lines, chunks);
        DLineAssembler assembler;
        Lines seen;
        for (const QByteArray& chunk : chunks) {
            assembler.feed(chunk, [&seen](const QByteArray& line) { seen.append(line); });
            QVERIFY(assembler.pending().capacity() <= 2 * DLineAssembler::maxLineLength);
        }
        QTEST(seen << assembler.pending(), "lines");
    }

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
        QTest::newRow("1e999") << 6 << QByteArray("1e999") << Map{{"setpointAngle", 0.0}};
        QTest::newRow("beyond int") << 10 << QByteArray("2147483648") << Map{{"timestamp", 0}};
        QTest::newRow("not scientific") << 10 << QByteArray("1e3") << Map{{"timestamp", 0}};
        QTest::newRow("UTF-8") << 11 << QByteArray("\xc3\xa4") << Map{{"eventStatus", "\u00c4"}};
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

    // A preset and a serial prefix; the exact frame, or none ("").
    void frameFromPreset_data() {
        QTest::addColumn<QVariantMap>("preset");
        QTest::addColumn<QByteArray>("serialPrefix");
        QTest::addColumn<QByteArray>("frame");
        const auto row = [](const char* tag, const QVariantMap& preset, const char* expected,
                            const char* serialPrefix = "") {
            QTest::newRow(tag) << preset << QByteArray(serialPrefix) << QByteArray(expected);
        };
        const auto with = [](QVariantMap preset, const QVariantMap& changes) {
            preset.insert(changes);
            return preset;
        };
        const QVariantMap both{{"angle", 30}, {"targetTorque", 12.5}};
        const QVariantMap full{{"angle", 30},     {"targetTorque", 12.5}, {"startTorque", 5},
                               {"angleTol", 2.5}, {"torqueTol", 0.5},     {"priority", "angle"}};

        row("angle first", full, "SAT,0005000,0300,+0025,-0025,0012500,+0000500,-0000500\r");
        row("torque first", with(full, {{"priority", "torque"}}),
            "STA,0012500,+0000500,-0000500,0005000,0300,+0025,-0025\r");
        row("angle only", with(full, {{"targetTorque", 0}, {"angleTol", 0}}), "SEA,0005000,0300\r");
        row("torque only", with(full, {{"angle", 0}}), "W1SET,0012500,+0000500,-0000500\r", "W1");
        row("priority Angle", with(both, {{"priority", "Angle"}}), "SAT,0012500,0300,0012500\r");
        row("priority absent", both, "STA,0012500,0012500,0300\r");
        row("start torque below 1", with(both, {{"startTorque", 0.5}}),
            "STA,0012500,0000500,0300\r");
        row("start torque < 0", with(both, {{"startTorque", -1}}), "STA,0012500,0012500,0300\r");
        row("torque half rounds up", {{"targetTorque", 2.0625}}, "SET,0002063\r");
        row("torque below half", {{"targetTorque", 2.0624}}, "SET,0002062\r");
        row("torque wider than field", {{"targetTorque", 10000}}, "SET,10000000\r");
        row("near 64 bits", {{"targetTorque", 9e15}}, "SET,9000000000000000000\r");
        row("negative field", {{"angle", 30}, {"targetTorque", -0.25}}, "SEA,-000250,0300\r");
        row("-half to +inf", {{"angle", 30}, {"targetTorque", -0.0025}}, "SEA,-000002,0300\r");
        row("tolerances 0 and negative", with(both, {{"angleTol", 0}, {"torqueTol", -0.5}}),
            "STA,0012500,0012500,0300\r");
        row("tiny tolerance", {{"targetTorque", 1}, {"torqueTol", 0.0001}},
            "SET,0001000,+0000000,-0000000\r");
        row("empty preset", {}, "", "W1");
        row("target nan text", with(both, {{"targetTorque", "nan"}}), "");
        row("unused angle -inf", with(both, {{"angle", "-inf"}}), "");
        row("start torque nan", with(both, {{"startTorque", qQNaN()}}), "");
        row("angle tolerance nan", with(both, {{"angleTol", "nan"}}), "");
        row("torque tolerance inf", with(both, {{"torqueTol", "inf"}}), "");
        row("beyond 64 bits", {{"targetTorque", 9.3e15}}, "");
        row("unsent tolerance beyond 64 bits", with(both, {{"torqueTol", -1e300}}), "");
    }

    void frameFromPreset() {
        QFETCH(QVariantMap, preset);
        QFETCH(QByteArray, serialPrefix);
        QTEST(DProgramFrame::fromPreset(preset, serialPrefix).value_or(QByteArray()), "frame");
    }
};

QTEST_GUILESS_MAIN(TstLineProtocol)
#include "tst_line_protocol.moc"
