// Runs the trace fuzz entry point over random files and over mutations of a
// real trace, so that the ordinary suite exercises it too.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "trace_reader_fuzz_entry.h"

namespace {

const std::string kSeed =
    "m797trace 1\nprogram m797diag 1.1.0\nstart 2026-12-08T11:05:00.123456Z\nline 10400 8N1\n"
    "o 0.000000 0.000100 ok\nx 0.000200 0.030000 14 8110F18204 8110F18204\nw 0.030300 0.050000 360\n"
    "x 0.080400 0.061000 14 8110F18103 8110F1810383F110C1EF8FC3\n"
    "x 0.200000 0.070000 140 8210F12101A5 8210F12101A5BBF11061011234 cut\n"
    "x 0.300000 0.070000 140 8210F12101A5 8210F12101A5BBF11061015678\n"
    "x 0.400000 0.040000 40 8210F12103A7 -\nc 0.500000 0.000010\n";

void run(const std::string& text) {
    m797::fuzzTraceFile(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(TraceReaderFuzz, RandomFilesAreReadAndPlayedWithoutFault) {
    std::mt19937 random(797);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 600);
    // Bytes a trace is made of, so that random text gets past the first field.
    const std::string alphabet = "oxwc 0123456789ABCDEF.-\n\r#cutokfailm797trace";
    std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
    for (int i = 0; i < 3000; ++i) {
        std::string text(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : text) c = i % 2 ? static_cast<char>(byte(random)) : alphabet[letter(random)];
        run(text);
    }
    SUCCEED();
}

TEST(TraceReaderFuzz, MutationsOfARealTraceAreReadAndPlayedWithoutFault) {
    std::mt19937 random(1797);
    std::uniform_int_distribution<std::size_t> at(0, kSeed.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> edit(0, 3);
    for (int i = 0; i < 4000; ++i) {
        std::string text = kSeed;
        for (int n = 0; n < 1 + i % 8; ++n) {
            const std::size_t p = at(random) % text.size();
            switch (edit(random)) {
            case 0: text[p] = static_cast<char>(byte(random)); break;
            case 1: text.erase(p, 1 + p % 5); break;
            case 2: text.insert(p, text.substr(at(random) % text.size(), 20)); break;
            default: text.resize(p); break;  // cut off
            }
            if (text.empty()) text = "x";
        }
        run(text);
    }
    // Every cut-off point of the seed.
    for (std::size_t n = 0; n <= kSeed.size(); ++n) run(kSeed.substr(0, n));
    SUCCEED();
}

}  // namespace
