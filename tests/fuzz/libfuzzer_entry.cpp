// libFuzzer's entry points around one target of fuzz_targets.h, chosen by DEMO_FUZZ_TARGET.
#include <cstdio>
#include <cstdlib>

#include "fuzz_targets.h"

void fuzzInvariantBroken(const char* reader, const char* what) {
    std::fprintf(stderr, "%s reader broke a promise: %s\n", reader, what);
    std::abort();
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The readers' diagnostics ("unknown data [...]", damaged-track notes) go to stdout;
    // millions of them would only slow the run. libFuzzer reports on stderr.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return DEMO_FUZZ_TARGET(data, size);
}
