#pragma once
// What makes an answer believable before its bytes are used: the adapter's
// echo equals the request (once or every byte twice), then a KWP2000 frame
// from the control unit to the tester (format 0x80 + n or 0x80 with a length
// byte, target 0xF1, source 0x10), complete, with a good checksum, the
// positive service (request service + 0x40) with the request's parameter byte
// repeated, and long enough to hold every position the reader of that answer
// takes. Frames of other units on the line are passed over; bytes that no
// echo or frame explains, where no answer was found, are line noise.
//
// The rules are a table beside the request table: one row per request that
// is read at fixed positions (identification and live data).

#include <array>
#include <cstdint>
#include <string>

#include "ecu/request_table.h"

namespace m797 {

enum class AnswerFault : std::uint8_t {
    None,
    NoAnswer,   // the echo and nothing after it, or nothing at all
    Echo,       // the echo is not the request
    Header,     // format byte, target or source wrong
    Truncated,  // fewer bytes than the format byte announces
    Checksum,
    Negative,    // 7F, the service, a response code
    Unexpected,  // another service or parameter, or too short for its reader
    Noise,       // no answer among bytes that no echo or frame explains
};
constexpr int kAnswerFaultKinds = 9;

// Machine-readable names ("no-answer", "echo", "header", "truncated",
// "checksum", "negative", "unexpected", "noise"; "ok" for None).
const char* answerFaultName(AnswerFault fault);

struct AnswerVerdict {
    AnswerFault fault = AnswerFault::None;
    std::uint8_t negativeCode = 0;  // the response code of a negative answer
    bool ok() const { return fault == AnswerFault::None; }
};

struct AnswerRule {
    std::uint8_t parameterBytes;  // request parameters the positive answer repeats
    int lastPositionUsed;         // highest buffer position its reader takes (echo included)
};

// Checks the `received` bytes of `request`'s answer buffer against `rule`.
AnswerVerdict checkAnswer(const Request& request, std::uint32_t received, const AnswerRule& rule);

// Checks a trouble-code answer (`received` bytes read for `request` into
// `bytes`, the answer placed after the echo): positive service 0x58, and a
// length that holds exactly the number of 3-byte records its count gives.
AnswerVerdict checkTroubleCodeAnswer(const Request& request, const std::uint8_t* bytes, std::uint32_t received);

// The rules of the requests read at fixed positions, in the order they are
// exchanged; `request` points into the table the rules were made for.
struct CheckedRequest {
    Request* request;
    AnswerRule rule;
};
struct AnswerRules {
    explicit AnswerRules(RequestTable& table);
    CheckedRequest identA1, identA2, identA3, ecuIdentification, liveData01, liveData03;
};

// Counts of bad answers, by kind (index = AnswerFault).
struct AnswerCounts {
    std::array<long, kAnswerFaultKinds> byKind{};
    long total() const;
    // "checksum 2, negative 1", or "none".
    std::string summary() const;
};

}  // namespace m797
