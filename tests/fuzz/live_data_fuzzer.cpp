// libFuzzer target over arbitrary live-data answers (build with
// -DM797_BUILD_FUZZ=ON and clang; add -DSANITIZE=address,undefined).
#include "live_data_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    m797::fuzzLiveDataAnswer(data, size);
    return 0;
}
