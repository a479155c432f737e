#include "ecu/answer_check.h"

#include <algorithm>

#include "ecu/line_reading.h"

namespace m797 {
namespace {

constexpr std::uint8_t kTester = 0xF1;
constexpr std::uint8_t kControlUnit = 0x10;
constexpr std::uint8_t kNegativeService = 0x7F;
constexpr std::uint8_t kPositiveOffset = 0x40;
constexpr std::uint8_t kTroubleCodeService = 0x18;

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

// The frame-level verdict on the answer at `at`, where its service byte and
// checksum are, and where the bytes it announces end.
struct FrameCheck {
    AnswerVerdict verdict;
    std::uint32_t at = 0;
    std::uint32_t serviceAt = 0;
    int dataLength = 0;
    std::uint32_t checksumAt = 0;
    std::uint32_t end = 0;
};

FrameCheck checkFrameAt(const std::uint8_t* b, std::uint32_t received, std::uint32_t at,
                        std::uint8_t requestService) {
    FrameCheck c;
    c.at = at;
    c.end = received;
    FrameShape shape{};
    if (!readShape(b, received, at, shape)) return c.verdict = {AnswerFault::Truncated}, c;
    c.checksumAt = at + shape.headerLength + shape.dataLength;
    c.end = std::min(received, c.checksumAt + 1);
    if ((b[at] & 0xC0) != 0x80 || b[at + 1] != kTester || b[at + 2] != kControlUnit || shape.dataLength == 0)
        return c.verdict = {AnswerFault::Header}, c;
    if (received <= c.checksumAt) return c.verdict = {AnswerFault::Truncated}, c;
    if (frameChecksum(b + at, static_cast<int>(c.checksumAt - at)) != b[c.checksumAt])
        return c.verdict = {AnswerFault::Checksum}, c;
    c.serviceAt = at + shape.headerLength;
    c.dataLength = shape.dataLength;
    if (b[c.serviceAt] == kNegativeService) {
        const bool aboutThisRequest = shape.dataLength >= 3 && b[c.serviceAt + 1] == requestService;
        c.verdict = {aboutThisRequest ? AnswerFault::Negative : AnswerFault::Unexpected,
                     aboutThisRequest ? b[c.serviceAt + 2] : std::uint8_t{0}};
        return c;
    }
    if (b[c.serviceAt] != requestService + kPositiveOffset) c.verdict = {AnswerFault::Unexpected};
    return c;
}

// Bytes read so far are the start of the echo, once or every byte twice.
bool echoSoFar(const Request& request, const std::uint8_t* b, std::uint32_t received) {
    bool once = true, twice = true;
    for (std::uint32_t i = 0; i < received; ++i) {
        once = once && i < request.length && b[i] == request.frame[i];
        twice = twice && b[i] == request.frame[i / 2];
    }
    return once || twice;
}

// Finds the answer among what was read (echo, other units' frames, noise)
// and judges it as a frame. Where no answer was found, the bytes right after
// the echo are judged in its place; bytes that neither explain are noise.
FrameCheck locateAndCheck(const Request& request, const std::uint8_t* b, std::uint32_t received) {
    const std::uint8_t service = request.frame[3];
    if (received <= 2u * request.length && echoSoFar(request, b, received)) return {{AnswerFault::NoAnswer}};
    const LineReading reading = readLine(request.frame, request.length, b, received);
    if (reading.answerAt >= 0)
        return checkFrameAt(b, received, static_cast<std::uint32_t>(reading.answerAt), service);
    if (reading.echoAt < 0) {
        const bool noise = reading.strayBytes > 0 && !reading.answerBeforeEcho;
        return {{noise ? AnswerFault::Noise : AnswerFault::Echo}};
    }
    const auto echoEnd = static_cast<std::uint32_t>(reading.echoEnd);
    FrameCheck c;
    if (received <= echoEnd) {
        c.verdict = {AnswerFault::NoAnswer};
        c.end = echoEnd;
    } else {
        c = checkFrameAt(b, received, echoEnd, service);
    }
    // The bytes after the echo are taken for a damaged answer where they
    // start like a frame or are as long as their first byte announces.
    const bool likeAFrame = received <= echoEnd || (b[echoEnd] & 0xC0) == 0x80 ||
                            (c.checksumAt != 0 && c.checksumAt + 1 == received);
    const std::uint32_t answerEnd = likeAFrame ? c.end : echoEnd;
    const int stray = strayBytesIn(b, 0, static_cast<std::uint32_t>(reading.echoAt)) + reading.echoStrays +
                      strayBytesIn(b, answerEnd, received);
    if (stray > 0) c.verdict = {AnswerFault::Noise};
    return c;
}

}  // namespace

const char* answerFaultName(AnswerFault fault) {
    static const char* const names[kAnswerFaultKinds] = {
        "ok", "no-answer", "echo", "header", "truncated", "checksum", "negative", "unexpected", "noise"};
    return names[static_cast<int>(fault)];
}

AnswerVerdict checkAnswer(const Request& request, std::uint32_t received, const AnswerRule& rule) {
    const std::uint8_t* b = request.answer;
    received = std::min<std::uint32_t>(received, kAnswerBufferSize);
    const FrameCheck c = locateAndCheck(request, b, received);
    if (!c.verdict.ok()) return c.verdict;
    if (c.dataLength < 1 + rule.parameterBytes) return {AnswerFault::Unexpected};
    if (!std::equal(b + c.serviceAt + 1, b + c.serviceAt + 1 + rule.parameterBytes, request.frame + 4))
        return {AnswerFault::Unexpected};
    // The readers take fixed positions of an answer right after a single echo
    // (placeAnswer puts it there).
    if (c.at != request.length) return {AnswerFault::Unexpected};
    if (static_cast<int>(c.checksumAt) <= rule.lastPositionUsed) return {AnswerFault::Unexpected};
    return {};
}

AnswerVerdict checkTroubleCodeAnswer(const Request& request, const std::uint8_t* bytes, std::uint32_t received) {
    if (request.frame[3] != kTroubleCodeService) return {AnswerFault::Unexpected};
    const FrameCheck c = locateAndCheck(request, bytes, received);
    if (!c.verdict.ok()) return c.verdict;
    if (c.at != request.length) return {AnswerFault::Unexpected};
    if (c.dataLength < 2 || c.dataLength != 2 + 3 * bytes[c.serviceAt + 1]) return {AnswerFault::Unexpected};
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
