#include <d_program_frame.h>

#include <QtTest>

#include <limits>

class TstProgramFrame : public QObject {
    Q_OBJECT

private slots:
    void frameFromPreset_data();
    void frameFromPreset();
};

namespace {

// The record of the worked example: both targets, a start torque and both
// tolerances.
QVariantMap fullPreset(const QString& priority) {
    return {{"angle", 30},     {"targetTorque", 12.5}, {"startTorque", 5},
            {"angleTol", 2.5}, {"torqueTol", 0.5},     {"priority", priority}};
}

QVariantMap with(QVariantMap preset, const QVariantMap& changes) {
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        preset.insert(it.key(), it.value());
    }
    return preset;
}

} // namespace

void TstProgramFrame::frameFromPreset_data() {
    QTest::addColumn<QVariantMap>("preset");
    QTest::addColumn<QByteArray>("serialPrefix");
    // Empty: no frame can be made.
    QTest::addColumn<QByteArray>("expected");

    const QByteArray none;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QVariantMap both{{"angle", 30}, {"targetTorque", 12.5}};

    QTest::newRow("angle first") << fullPreset("angle") << QByteArray("W1")
                                 << QByteArray("W1SAT,0005000,0300,+0025,-0025,"
                                               "0012500,+0000500,-0000500\r");
    QTest::newRow("torque first") << fullPreset("torque") << QByteArray("W1")
                                  << QByteArray("W1STA,0012500,+0000500,-0000500,"
                                                "0005000,0300,+0025,-0025\r");
    QTest::newRow("angle only") << with(fullPreset("angle"),
                                        {{"targetTorque", 0}, {"angleTol", 0}, {"torqueTol", 0}})
                                << QByteArray("W1") << QByteArray("W1SEA,0005000,0300\r");
    QTest::newRow("torque only") << with(fullPreset("angle"), {{"angle", 0}}) << QByteArray("W1")
                                 << QByteArray("W1SET,0012500,+0000500,-0000500\r");
    QTest::newRow("bare frame without serial ID")
        << with(fullPreset("x"), {{"angle", 0}}) << QByteArray()
        << QByteArray("SET,0012500,+0000500,-0000500\r");

    QTest::newRow("priority Angle") << with(both, {{"priority", "Angle"}}) << QByteArray()
                                    << QByteArray("SAT,0012500,0300,0012500\r");
    QTest::newRow("priority ANGLE") << with(both, {{"priority", "ANGLE"}}) << QByteArray()
                                    << QByteArray("SAT,0012500,0300,0012500\r");
    QTest::newRow("priority absent")
        << both << QByteArray() << QByteArray("STA,0012500,0012500,0300\r");
    QTest::newRow("start torque negative") << with(both, {{"startTorque", -1}}) << QByteArray()
                                           << QByteArray("STA,0012500,0012500,0300\r");
    QTest::newRow("start torque and target 0")
        << QVariantMap{{"angle", 30}} << QByteArray() << QByteArray("SEA,0000000,0300\r");
    QTest::newRow("numeric text") << QVariantMap{{"angle", "30"}, {"targetTorque", "12.5"}}
                                  << QByteArray() << QByteArray("STA,0012500,0012500,0300\r");

    QTest::newRow("angle half rounds up")
        << QVariantMap{{"angle", 0.25}} << QByteArray() << QByteArray("SEA,0000000,0003\r");
    QTest::newRow("torque half rounds up")
        << QVariantMap{{"targetTorque", 2.0625}} << QByteArray() << QByteArray("SET,0002063\r");
    QTest::newRow("torque below half rounds down")
        << QVariantMap{{"targetTorque", 2.0624}} << QByteArray() << QByteArray("SET,0002062\r");
    QTest::newRow("torque to nearest")
        << QVariantMap{{"targetTorque", 12.3456}} << QByteArray() << QByteArray("SET,0012346\r");
    QTest::newRow("torque field longer than its width")
        << QVariantMap{{"targetTorque", 10000}} << QByteArray() << QByteArray("SET,10000000\r");
    QTest::newRow("angle field longer than its width")
        << QVariantMap{{"angle", 1000}} << QByteArray() << QByteArray("SEA,0000000,10000\r");
    QTest::newRow("beyond 32 bits")
        << QVariantMap{{"targetTorque", 5e6}} << QByteArray() << QByteArray("SET,5000000000\r");
    QTest::newRow("near 64 bits") << QVariantMap{{"targetTorque", 9e15}} << QByteArray()
                                  << QByteArray("SET,9000000000000000000\r");

    QTest::newRow("negative start torque field")
        << QVariantMap{{"angle", 30}, {"targetTorque", -0.25}} << QByteArray()
        << QByteArray("SEA,-000250,0300\r");
    QTest::newRow("negative half toward positive infinity")
        << QVariantMap{{"angle", 30}, {"targetTorque", -0.0025}} << QByteArray()
        << QByteArray("SEA,-000002,0300\r");
    QTest::newRow("negative rounding to zero has no sign")
        << QVariantMap{{"angle", 30}, {"targetTorque", -0.0004}} << QByteArray()
        << QByteArray("SEA,0000000,0300\r");
    QTest::newRow("negative field longer than its width")
        << QVariantMap{{"angle", 30}, {"targetTorque", -12345.678}} << QByteArray()
        << QByteArray("SEA,-12345678,0300\r");

    QTest::newRow("tolerances 0 and negative: no suffix")
        << with(both, {{"angleTol", 0}, {"torqueTol", -0.5}}) << QByteArray()
        << QByteArray("STA,0012500,0012500,0300\r");
    QTest::newRow("tiny tolerance is still sent")
        << QVariantMap{{"targetTorque", 1}, {"torqueTol", 0.0001}} << QByteArray()
        << QByteArray("SET,0001000,+0000000,-0000000\r");

    QTest::newRow("nothing positive")
        << QVariantMap{{"angle", 0}, {"targetTorque", -1}} << QByteArray("W1") << none;
    QTest::newRow("empty preset") << QVariantMap() << QByteArray("W1") << none;
    QTest::newRow("target torque nan text")
        << with(both, {{"targetTorque", "nan"}}) << QByteArray() << none;
    QTest::newRow("target torque inf text")
        << with(both, {{"targetTorque", "inf"}}) << QByteArray() << none;
    QTest::newRow("angle -inf beside a torque")
        << with(both, {{"angle", "-inf"}}) << QByteArray() << none;
    QTest::newRow("start torque nan") << with(both, {{"startTorque", nan}}) << QByteArray() << none;
    QTest::newRow("angle tolerance nan")
        << with(both, {{"angleTol", "nan"}}) << QByteArray() << none;
    QTest::newRow("torque tolerance inf")
        << with(both, {{"torqueTol", "inf"}}) << QByteArray() << none;
    QTest::newRow("torque beyond 64 bits")
        << QVariantMap{{"targetTorque", 9.3e15}} << QByteArray() << none;
    QTest::newRow("overflow to infinity when scaled")
        << QVariantMap{{"angle", 1e308}} << QByteArray() << none;
    QTest::newRow("unsent tolerance beyond 64 bits")
        << with(both, {{"torqueTol", -1e300}}) << QByteArray() << none;
}

void TstProgramFrame::frameFromPreset() {
    QFETCH(QVariantMap, preset);
    QFETCH(QByteArray, serialPrefix);
    QFETCH(QByteArray, expected);

    const auto frame = DProgramFrame::fromPreset(preset, serialPrefix);
    QCOMPARE(frame.has_value(), !expected.isEmpty());
    if (frame) {
        QCOMPARE(*frame, expected);
    }
}

QTEST_GUILESS_MAIN(TstProgramFrame)
#include "tst_program_frame.moc"
