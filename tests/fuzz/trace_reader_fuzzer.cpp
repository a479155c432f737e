// libFuzzer target over arbitrary trace files (build with -DM797_BUILD_FUZZ=ON
// and clang; add -DSANITIZE=address,undefined).
#include "trace_reader_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    m797::fuzzTraceFile(data, size);
    return 0;
}
