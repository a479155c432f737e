#pragma once
// The link states shown in the record's statusText, as Windows-1251 texts.

#include <string>

namespace m797 {

enum class LinkStatus {
    Connecting,  // the port was opened
    PortOpenFailed,
    CheckAdapter,     // the StartCommunication answer does not end in 0xC3
    NoAnswer,         // it ends in 0xC3 but the key byte before is not 0x8F
    EcuNotAnswering,  // given up after ten "no answer" failures
    AdapterMissing,   // given up after ten "check adapter" failures
    DataReceived,
    EndOfRecording,  // a replayed trace has run out
    LineNoise,       // what was read held no answer, only bytes of no frame
};

// What observers of the link hear: the state, and with PortOpenFailed the
// errno of the failed open (a device that went away fails to open again).
struct LinkEvent {
    LinkStatus status = LinkStatus::Connecting;
    int errorNumber = 0;
};

// The text of a state; built once, so the loop never converts texts.
const std::string& linkStatusText(LinkStatus status);

}  // namespace m797
