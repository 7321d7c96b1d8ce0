// The wrench's bytes through the reply handler of one command, named by
// WRENCH_FUZZ_COMMAND: one fuzz target per command, built from this file.
#include "d_fuzz_environment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return DFuzzEnvironment::feedCommand(QStringLiteral(WRENCH_FUZZ_COMMAND), data, size);
}
