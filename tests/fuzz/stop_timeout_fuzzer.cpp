// libFuzzer target: the stop timeout, converted by the wrapper with the
// simulated wcstoul, against the model of the runtime's rules.
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Judge(CheckEveryUnit());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Judge(CheckStopTimeout(data, size));
    return 0;
}
