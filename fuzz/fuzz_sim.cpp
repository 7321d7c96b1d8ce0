// The simulated wrench: its frame parser on any frame, and the wrench itself
// on any bytes, with any faults but the flood, in chunks.
#include "d_fuzz_environment.h"
#include "d_fuzz_input.h"

#include <d_sim_frame.h>
#include <d_sim_wrench.h>

#include <QCoreApplication>

namespace {

constexpr int maxPayload = 2048;
constexpr int maxTurns = 1 << 20;

DSimFaults faultsFrom(quint8 bits) {
    DSimFaults faults;
    faults.silent = bits & 0x01;
    faults.refuse = bits & 0x02;
    faults.split = bits & 0x04;
    faults.crlf = bits & 0x08;
    faults.garbage = bits & 0x10;
    faults.repeat = bits & 0x20;
    return faults;
}

QByteArray serialFrom(DFuzzInput& in) {
    switch (in.byte() % 4) {
    case 0:
        return "W1";
    case 1:
        return "";
    case 2:
        return "4711";
    default:
        return in.text(4);
    }
}

void checkParse(const QByteArray& frame, const QByteArray& serialId) {
    const DSimFrame parsed = DSimFrame::parse(frame, serialId);
    DFuzzEnvironment::check(parsed.isAddressed() == frame.startsWith(serialId),
                            "addressing not by the serial ID");
    DFuzzEnvironment::check(parsed.isAddressed() || parsed.body().isEmpty(),
                            "a body from a frame for another wrench");
    DFuzzEnvironment::check(!parsed.mnemonic().contains(','), "a comma in the mnemonic");
    DFuzzEnvironment::check(!parsed.isValidProgram() || parsed.isProgram(),
                            "a valid program that is no program");
    const DSimFrame::Targets t = parsed.targets();
    for (const qint64 value : {t.torque, t.startTorque, t.angle, t.torqueTolPlus, t.torqueTolMinus,
                               t.angleTolPlus, t.angleTolMinus}) {
        DFuzzEnvironment::check(value >= 0 && value <= DSimFrame::saturatedValue,
                                "a target out of range");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DFuzzEnvironment::ensureApplication();
    DFuzzInput in(data, size);
    const quint8 flags = in.byte();
    const QByteArray serialId = serialFrom(in);
    const int chunkSize = in.byte() % 32 + 1;
    const QByteArray payload = in.rest().left(maxPayload);

    for (const QByteArray& frame : payload.split('\r')) {
        checkParse(frame, serialId);
    }

    DSimWrench wrench(serialId, faultsFrom(flags), 1);
    qint64 outputBytes = 0;
    QObject::connect(&wrench, &DSimWrench::output,
                     [&outputBytes](const QByteArray& bytes) { outputBytes += bytes.size(); });
    for (int tightenings = flags >> 6; tightenings > 0; --tightenings) {
        wrench.tighten();
    }
    for (int offset = 0; offset < payload.size(); offset += chunkSize) {
        wrench.receive(payload.mid(offset, chunkSize));
    }
    for (int turn = 0; turn < maxTurns && wrench.hasPendingOutput(); ++turn) {
        QCoreApplication::processEvents();
    }
    DFuzzEnvironment::check(!wrench.hasPendingOutput(), "the wrench's output never drains");
    DFuzzEnvironment::check(outputBytes <= DSimWrench::maxPendingBytes + 64 * (payload.size() + 4),
                            "the wrench answers out of proportion");
    DFuzzEnvironment::check(wrench.savedRecordCount() <= DSimWrench::maxSavedRecords,
                            "more records than the wrench's memory");
    return 0;
}
