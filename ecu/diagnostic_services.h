#pragma once
// Step 3.4 of a poll cycle: the diagnostic requests that the windows raised in
// the record (trouble codes, actuators, resets), served in their fixed order.

namespace m797 {

struct LiveRecord;
struct RequestTable;
class SerialLine;

// Serves, in this order: the trouble-code read (while readDtcRequest is 1),
// the one-shot clear, and, once the actuator window has been opened, the
// fifteen actuator entries in list order and the two resets.
void serveDiagnosticRequests(SerialLine& line, RequestTable& table, LiveRecord& record);

// A new connection has read no trouble codes yet: a list read before is
// withdrawn ("no answer") until the control unit sends it again.
void forgetTroubleCodes(LiveRecord& record);

// For the program's exit: asks for the release of every actuator entry that is
// under test (selected, or with a command still pending), so the thread can
// hand the outputs back to the control unit before the port closes. Returns
// whether any release is now pending.
bool requestReleaseOfActuatorsUnderTest(LiveRecord& record);

// Whether any actuator release is still waiting to be sent.
bool actuatorReleasePending(const LiveRecord& record);

}  // namespace m797
