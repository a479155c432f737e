// Runs the fuzz entry point over a few thousand random answer buffers, so that
// the ordinary suite exercises it too (under a sanitizer build as well).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "live_data_fuzz_entry.h"

namespace {

TEST(LiveDataFuzz, RandomAnswersKeepTheRecordSound) {
    std::mt19937 random(797);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 200);
    std::vector<std::uint8_t> buffer;
    for (int i = 0; i < 4000; ++i) {
        buffer.resize(static_cast<std::size_t>(length(random)));
        for (auto& b : buffer) b = static_cast<std::uint8_t>(byte(random));
        m797::fuzzLiveDataAnswer(buffer.data(), buffer.size());
    }
    // Every single byte value at every position, one at a time.
    for (int pos = 0; pos < 180; ++pos)
        for (int value = 0; value < 256; ++value) {
            std::vector<std::uint8_t> answer(180, 0);
            answer[pos] = static_cast<std::uint8_t>(value);
            m797::fuzzLiveDataAnswer(answer.data(), answer.size());
        }
    SUCCEED();
}

}  // namespace
