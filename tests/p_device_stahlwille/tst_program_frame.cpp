#include <d_program_frame.h>

#include <QtTest>

class TstProgramFrame : public QObject {
    Q_OBJECT

private slots:
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
        row("priority ANGLE", with(both, {{"priority", "ANGLE"}}), "SAT,0012500,0300,0012500\r");
        row("priority absent", both, "STA,0012500,0012500,0300\r");
        row("start torque < 0", with(both, {{"startTorque", -1}}), "STA,0012500,0012500,0300\r");
        row("start torque and target 0", {{"angle", 30}}, "SEA,0000000,0300\r");
        row("text", {{"angle", "30"}, {"targetTorque", "12.5"}}, "STA,0012500,0012500,0300\r");
        row("angle half rounds up", {{"angle", 0.25}}, "SEA,0000000,0003\r");
        row("torque half rounds up", {{"targetTorque", 2.0625}}, "SET,0002063\r");
        row("torque below half", {{"targetTorque", 2.0624}}, "SET,0002062\r");
        row("torque to nearest", {{"targetTorque", 12.3456}}, "SET,0012346\r");
        row("torque wider than field", {{"targetTorque", 10000}}, "SET,10000000\r");
        row("angle wider than field", {{"angle", 1000}}, "SEA,0000000,10000\r");
        row("beyond 32 bits", {{"targetTorque", 5e6}}, "SET,5000000000\r");
        row("near 64 bits", {{"targetTorque", 9e15}}, "SET,9000000000000000000\r");
        row("negative field", {{"angle", 30}, {"targetTorque", -0.25}}, "SEA,-000250,0300\r");
        row("-half to +inf", {{"angle", 30}, {"targetTorque", -0.0025}}, "SEA,-000002,0300\r");
        row("negative to 0", {{"angle", 30}, {"targetTorque", -0.0004}}, "SEA,0000000,0300\r");
        row("long negative", {{"angle", 30}, {"targetTorque", -12345.678}}, "SEA,-12345678,0300\r");
        row("tolerances 0 and negative", with(both, {{"angleTol", 0}, {"torqueTol", -0.5}}),
            "STA,0012500,0012500,0300\r");
        row("tiny tolerance", {{"targetTorque", 1}, {"torqueTol", 0.0001}},
            "SET,0001000,+0000000,-0000000\r");
        row("nothing positive", {{"angle", 0}, {"targetTorque", -1}}, "", "W1");
        row("empty preset", {}, "", "W1");
        row("target nan text", with(both, {{"targetTorque", "nan"}}), "");
        row("target inf text", with(both, {{"targetTorque", "inf"}}), "");
        row("unused angle -inf", with(both, {{"angle", "-inf"}}), "");
        row("start torque nan", with(both, {{"startTorque", qQNaN()}}), "");
        row("angle tolerance nan", with(both, {{"angleTol", "nan"}}), "");
        row("torque tolerance inf", with(both, {{"torqueTol", "inf"}}), "");
        row("beyond 64 bits", {{"targetTorque", 9.3e15}}, "");
        row("infinite when scaled", {{"angle", 1e308}}, "");
        row("unsent tolerance beyond 64 bits", with(both, {{"torqueTol", -1e300}}), "");
    }

    void frameFromPreset() {
        QFETCH(QVariantMap, preset);
        QFETCH(QByteArray, serialPrefix);
        QTEST(DProgramFrame::fromPreset(preset, serialPrefix).value_or(QByteArray()), "frame");
    }
};

QTEST_GUILESS_MAIN(TstProgramFrame)
#include "tst_program_frame.moc"
