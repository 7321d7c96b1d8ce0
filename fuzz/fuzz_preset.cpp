// A preset table of any keys, types and values: through the preset lookup,
// the program frame and a whole "setProgram" run. Every frame the plug-in
// writes must be one the wrench accepts, carrying the preset's values.
#include "d_fuzz_environment.h"
#include "d_fuzz_input.h"

#include <command_bench.h>
#include <d_cmd_get_preset_data.h>
#include <d_instruction_router.h>
#include <d_program_frame.h>
#include <d_sim_frame.h>

#include <QCoreApplication>
#include <QVariantList>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

constexpr int maxDepth = 3;
constexpr int maxEntries = 7;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

const char* const recordKeys[] = {"angle",     "targetTorque", "startTorque", "angleTol",
                                  "torqueTol", "priority",     "name",        "presetNo"};
const char* const presetKeys[] = {"1", "3", "0", "01", "4294967295", "4294967296", "-1", " 1"};
const char* const numberTexts[] = {"12.5",   "nan",  "inf",  "-inf",  "1e400", "-0",        "0x10",
                                   " 3",     "3.",   "1e15", "angle", "ANGLE", "-2.5",      "0.25",
                                   "1e-400", "9e18", "12,5", "",      "+7",    "4294967295"};
// Where a conversion breaks: not finite, signed zero, halves, the subnormal
// range, 2^63 and past, and the 32-bit program bound.
const double specialNumbers[] = {nan,    inf,   -inf,    0.0,          -0.0,         0.05,
                                 0.5,    2.5,   -2.5,    1e-300,       4.9e-324,     1e15,
                                 0x1p63, 1e300, DBL_MAX, 4294967295.5, 4294967296.0, -1.0};

template <class T, size_t N>
const T& pick(DFuzzInput& in, const T (&choices)[N]) {
    return choices[in.byte() % N];
}

QVariant decodeValue(DFuzzInput& in, int depth);

QVariantMap decodeMap(DFuzzInput& in, int depth) {
    QVariantMap map;
    const int count = in.byte() % (maxEntries + 1);
    for (int i = 0; i < count && !in.atEnd(); ++i) {
        const quint8 choice = in.byte();
        const QString key = choice < 224 ? QString::fromLatin1(recordKeys[choice % 8])
                                         : QString::fromUtf8(in.text(12));
        map.insert(key, decodeValue(in, depth + 1));
    }
    return map;
}

QVariantList decodeList(DFuzzInput& in, int depth) {
    QVariantList list;
    const int count = in.byte() % (maxEntries + 1);
    for (int i = 0; i < count && !in.atEnd(); ++i) {
        list.append(decodeValue(in, depth + 1));
    }
    return list;
}

QVariant decodeValue(DFuzzInput& in, int depth) {
    switch (in.byte() % 11) {
    case 0:
        return QString::fromUtf8(in.text(16));
    case 1:
        return pick(in, specialNumbers);
    case 2:
        return in.bitsAs<double>();
    case 3:
        return in.bitsAs<qint32>();
    case 4:
        return qlonglong(in.bitsAs<qint64>());
    case 5:
        return bool(in.byte() & 1);
    case 6:
        return depth < maxDepth ? QVariant(decodeMap(in, depth)) : QVariant();
    case 7:
        return depth < maxDepth ? QVariant(decodeList(in, depth)) : QVariant();
    case 8: {
        const double digits = in.bitsAs<qint32>();
        return digits / std::pow(10.0, in.byte() % 7);
    }
    case 9:
        return QString::fromLatin1(pick(in, numberTexts));
    default:
        return qulonglong(in.bitsAs<qint64>());
    }
}

QVariant decodeTable(DFuzzInput& in) {
    if (in.byte() % 8 == 0) {
        return decodeValue(in, 0);
    }
    QVariantMap table;
    const int count = in.byte() % (maxEntries + 1);
    for (int i = 0; i < count && !in.atEnd(); ++i) {
        const quint8 choice = in.byte();
        const QString key = choice < 224 ? QString::fromLatin1(presetKeys[choice % 8])
                                         : QString::fromUtf8(in.text(12));
        table.insert(key, in.byte() % 4 == 0 ? decodeValue(in, 1) : QVariant(decodeMap(in, 1)));
    }
    return table;
}

QVariant decodeProgram(DFuzzInput& in) {
    const quint8 choice = in.byte();
    if (choice % 3 == 0) {
        return decodeValue(in, 0);
    }
    const quint32 numbers[] = {1, 3, 0, 4294967295u};
    return numbers[choice % 4];
}

// value × scale rounded half up, as the frame carries it; -1 when beyond what
// the simulated wrench reads exactly.
qint64 expectedField(double value, int scale) {
    const double rounded = std::floor(value * scale + 0.5);
    return rounded >= 0 && rounded < double(DSimFrame::saturatedValue) ? qint64(rounded) : -1;
}

void checkValue(qint64 sent, double value, int scale, const char* what) {
    const qint64 expected = expectedField(value, scale);
    if (expected >= 0) {
        DFuzzEnvironment::check(sent == expected, what);
    }
}

void checkTolerance(qint64 plus, qint64 minus, double tolerance, int scale) {
    DFuzzEnvironment::check(plus == minus, "tolerance sides differ");
    checkValue(plus, tolerance > 0 ? tolerance : 0, scale, "tolerance not as in the preset");
}

void checkFrame(const QVariantMap& preset) {
    const auto frame = DProgramFrame::fromPreset(preset, "W1");
    if (!frame) {
        return;
    }
    DFuzzEnvironment::check(frame->endsWith('\r') && frame->count('\r') == 1 &&
                                !frame->contains('\n'),
                            "a program frame without exactly one CR at its end");
    const DSimFrame parsed = DSimFrame::parse(frame->chopped(1), "W1");
    // A negative target torque with no start torque is written as a signed
    // start torque, which the wrench refuses: it answers "?" and the run fails
    // on its timer. Nothing else may be refused.
    const bool negativeStart = parsed.mnemonic() == "SEA" && !parsed.fields().isEmpty() &&
                               parsed.fields().first().startsWith('-');
    DFuzzEnvironment::check(parsed.isValidProgram() || negativeStart,
                            "a program frame the wrench refuses");
    if (!parsed.isValidProgram()) {
        return;
    }
    const DSimFrame::Targets sent = parsed.targets();
    const double angle = preset.value("angle").toDouble();
    const double torque = preset.value("targetTorque").toDouble();
    const double start = preset.value("startTorque").toDouble();
    if (parsed.mnemonic() != "SET") {
        checkValue(sent.angle, angle, 10, "angle not as in the preset");
        checkValue(sent.startTorque, start > 0 ? start : torque, 1000,
                   "start torque not as in the preset");
        checkTolerance(sent.angleTolPlus, sent.angleTolMinus, preset.value("angleTol").toDouble(),
                       10);
    }
    if (parsed.mnemonic() != "SEA") {
        checkValue(sent.torque, torque, 1000, "torque not as in the preset");
        checkTolerance(sent.torqueTolPlus, sent.torqueTolMinus,
                       preset.value("torqueTol").toDouble(), 1000);
    }
}

QVariantMap lookUp(const QVariant& program, const QVariantMap& configuration) {
    CommandBench bench("getPresetData", {{"program", program}}, configuration);
    bench.execute();
    const bool found = bench.result("cmd_success").toBool();
    const QVariantMap presetData = bench.result("presetData").toMap();
    DFuzzEnvironment::check(found == presetData.contains("presetNo"),
                            "lookup success and its record disagree");
    return presetData;
}

void runSetProgram(const QVariant& program, const QVariantMap& configuration,
                   const QVariantMap& presetData) {
    const auto expected = DProgramFrame::fromPreset(presetData, "W1");
    CommandBench bench("setProgram", {{"serialId", "W1"}, {"program", program}}, configuration);
    bench.execute();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const QList<QByteArray> frames = expected ? QList<QByteArray>{*expected} : QList<QByteArray>();
    DFuzzEnvironment::check(bench.written() == frames, "setProgram wrote another frame");
    bench.send({"W1OK\r"});
    DFuzzEnvironment::check(bench.result("cmd_success").toBool() == bool(expected),
                            "setProgram success without a frame written");
    DFuzzEnvironment::check(bench.result("failed").toBool() != bool(expected),
                            "setProgram outcome pair disagrees");
    bench.finish();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DFuzzEnvironment::ensureApplication();
    DFuzzInput in(data, size);
    const QVariant program = decodeProgram(in);
    const QVariant presets = decodeTable(in);

    (void)DCmdGetPresetData::presetNumber(program);
    for (const QVariant& record : presets.toMap()) {
        checkFrame(record.toMap());
    }
    const QVariantMap configuration{{"presets", presets}};
    const QVariantMap presetData = lookUp(program, configuration);
    checkFrame(presetData);
    runSetProgram(program, configuration, presetData);
    QCoreApplication::processEvents();
    DFuzzEnvironment::check(DInstructionRouter::instance().instructionCount() == 0,
                            "an instruction outlived its run");
    return 0;
}
