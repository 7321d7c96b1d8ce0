// The wrench's bytes through the reply handler of "setScreenLock".
#include "d_fuzz_environment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return DFuzzEnvironment::feedCommand(QStringLiteral("setScreenLock"), data, size);
}
