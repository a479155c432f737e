#pragma once
// The text dialogue of an ELM327-type adapter, as plain functions over
// strings: the set-up commands, a request frame turned into the adapter's hex
// text, and an answer text (hex lines or one of the adapter's messages, up to
// the ">" prompt) turned back into bytes laid out as a plain K-line adapter
// would have read them: the request's echo, then the control unit's whole
// frame with header and checksum. No I/O here; elm327_line.* talks.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace m797 {

// What an answer text says.
enum class ElmOutcome : std::uint8_t {
    Frames,        // hex lines: the control unit's frames
    NoData,        // "NO DATA": the control unit did not answer
    NoConnection,  // "BUS INIT: ...ERROR", "UNABLE TO CONNECT", bus errors
    Damaged,       // "<DATA ERROR", "BUFFER FULL", "STOPPED", "?", unreadable text
};

struct ElmAnswer {
    ElmOutcome outcome = ElmOutcome::NoData;
    std::vector<std::uint8_t> bytes;  // every hex line in order (headers and checksums kept)
};

// Parses the text the adapter sent after a request, up to (not including)
// its ">" prompt. Lines of progress ("SEARCHING...", "BUS INIT: ...OK") are
// passed over; the worst message of the text decides the outcome.
ElmAnswer parseElmAnswer(std::string_view text);

// The adapter's one-line reply to an AT command, without empty lines and
// without the echo of the command itself ("ATI" -> "ELM327 v1.5").
std::string elmReplyLine(std::string_view text, std::string_view command);

// Whether the reply to "AT I" (or the banner of a reset) names an ELM327.
bool isElm327Identity(std::string_view reply);

// The two key bytes in the reply to "AT KW" ("1:EF 2:8F"); false when the
// reply holds no two key bytes.
bool parseElmKeyBytes(std::string_view reply, std::uint8_t& key1, std::uint8_t& key2);

// A KWP2000 request frame (format, target, source, [length], data, checksum)
// as the adapter takes it: the data bytes as hex, followed by the response
// count digit when `responseCount` is 1..15 ("21011": one answer expected).
// The adapter adds header, length and checksum itself.
struct ElmRequest {
    bool valid = false;  // a whole frame with a good checksum
    std::uint8_t target = 0;
    std::uint8_t source = 0;
    std::uint8_t service = 0;
    std::string text;  // without the line end
};
ElmRequest elmRequestFor(std::span<const std::uint8_t> frame, int responseCount);

// "ATSH8110F1": the header for frames from `source` to `target`.
std::string elmHeaderCommand(std::uint8_t target, std::uint8_t source);

// The frame a plain adapter would have read back: the request (its echo),
// then, for Frames and Damaged, the answer bytes; a damaged answer never
// passes the answer checks (its checksum is spoilt, or it is cut to a lone
// format byte). Returns the bytes written to `out` (at most `capacity`).
std::uint32_t layOutAsPlainAdapter(std::span<const std::uint8_t> request, const ElmAnswer& answer,
                                   std::uint8_t* out, std::uint32_t capacity);

// The StartCommunication answer the adapter received during its fast
// initialisation (it keeps it; AT KW gives its key bytes): from `ecu` to
// `tester`, 0xC1 and the key bytes, with its checksum.
std::vector<std::uint8_t> startCommunicationAnswer(std::uint8_t tester, std::uint8_t ecu, std::uint8_t key1,
                                                   std::uint8_t key2);

// The set-up of the adapter after a reset, in order. `mustSucceed` commands
// stop the set-up with a message when refused; the others only tune.
struct ElmSetupStep {
    const char* command;
    bool mustSucceed;
    const char* why;
};
std::span<const ElmSetupStep> elmSetupSteps();

// The adapter's answer time-out (AT ST, in 4 ms units) used: twice the 50 ms
// a control unit may take to answer, so a slow answer is not cut.
constexpr int kElmAnswerTimeoutUnits = 0x19;

}  // namespace m797
