#include "ecu/answer_check.h"

#include <algorithm>

namespace m797 {
namespace {

constexpr std::uint8_t kTester = 0xF1;
constexpr std::uint8_t kControlUnit = 0x10;
constexpr std::uint8_t kNegativeService = 0x7F;
constexpr std::uint8_t kPositiveOffset = 0x40;

struct FrameShape {
    int headerLength;  // format, target, source, and a length byte where there is one
    int dataLength;
};

// Header of the frame that starts at `at`; false when too few bytes say it.
bool readShape(const std::uint8_t* b, std::uint32_t received, std::uint32_t at, FrameShape& shape) {
    if (received < at + 3) return false;
    const int n = b[at] & 0x3F;
    if (n != 0) {
        shape = {3, n};
        return true;
    }
    if (received < at + 4) return false;
    shape = {4, b[at + 3]};
    return true;
}

}  // namespace

const char* answerFaultName(AnswerFault fault) {
    static const char* const names[kAnswerFaultKinds] = {"ok",        "no-answer", "echo",     "header",
                                                         "truncated", "checksum",  "negative", "unexpected"};
    return names[static_cast<int>(fault)];
}

AnswerVerdict checkAnswer(const Request& request, std::uint32_t received, const AnswerRule& rule) {
    const std::uint8_t* b = request.answer;
    const std::uint32_t at = request.length;  // the answer follows the echo
    received = std::min<std::uint32_t>(received, kAnswerBufferSize);
    if (received <= at) {
        const bool echoSoFar = std::equal(b, b + received, request.frame);
        return {echoSoFar ? AnswerFault::NoAnswer : AnswerFault::Echo};
    }
    if (!std::equal(b, b + at, request.frame)) return {AnswerFault::Echo};
    FrameShape shape{};
    if (!readShape(b, received, at, shape)) return {AnswerFault::Truncated};
    if ((b[at] & 0xC0) != 0x80 || b[at + 1] != kTester || b[at + 2] != kControlUnit || shape.dataLength == 0)
        return {AnswerFault::Header};
    const std::uint32_t checksumAt = at + shape.headerLength + shape.dataLength;
    if (received <= checksumAt) return {AnswerFault::Truncated};
    if (frameChecksum(b + at, static_cast<int>(checksumAt - at)) != b[checksumAt]) return {AnswerFault::Checksum};
    const std::uint32_t serviceAt = at + shape.headerLength;
    const std::uint8_t requestService = request.frame[3];
    if (b[serviceAt] == kNegativeService) {
        const bool aboutThisRequest = shape.dataLength >= 3 && b[serviceAt + 1] == requestService;
        return {aboutThisRequest ? AnswerFault::Negative : AnswerFault::Unexpected,
                aboutThisRequest ? b[serviceAt + 2] : std::uint8_t{0}};
    }
    if (b[serviceAt] != requestService + kPositiveOffset) return {AnswerFault::Unexpected};
    if (shape.dataLength < 1 + rule.parameterBytes) return {AnswerFault::Unexpected};
    if (!std::equal(b + serviceAt + 1, b + serviceAt + 1 + rule.parameterBytes, request.frame + 4))
        return {AnswerFault::Unexpected};
    if (static_cast<int>(checksumAt) <= rule.lastPositionUsed) return {AnswerFault::Unexpected};
    return {};
}

// The last positions are those the identification texts and the live-data
// decoder read.
AnswerRules::AnswerRules(RequestTable& t)
    : identA1{&t.identA1, {1, 17}},
      identA2{&t.identA2, {1, 17}},
      identA3{&t.identA3, {1, 20}},
      ecuIdentification{&t.ecuIdentification, {1, 104}},
      liveData01{&t.liveData01, {1, 76}},
      liveData03{&t.liveData03, {1, 27}} {}

long AnswerCounts::total() const {
    long sum = 0;
    for (long n : byKind) sum += n;
    return sum;
}

std::string AnswerCounts::summary() const {
    std::string text;
    for (int k = 1; k < kAnswerFaultKinds; ++k) {
        if (byKind[k] == 0) continue;
        if (!text.empty()) text += ", ";
        text += answerFaultName(static_cast<AnswerFault>(k));
        text += ' ';
        text += std::to_string(byKind[k]);
    }
    return text.empty() ? "none" : text;
}

}  // namespace m797
