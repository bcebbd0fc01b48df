// libFuzzer target: the child's command line, composed by the wrapper and
// split by the simulated CommandLineToArgvW.
#include "platform/platform.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Judge(CheckChildCommandLine(data, size));
    // The simulator journals every call: back to a fresh one, so that the
    // journal does not grow for the whole run and each input frees what it
    // allocated (libFuzzer takes more allocations than frees for a leak).
    sim::Reset();
    return 0;
}
