#pragma once
// Step 3.4 of a poll cycle: the diagnostic requests that the windows raised in
// the record (trouble codes, actuators, resets), served in their fixed order.

namespace m797 {

struct LiveRecord;
struct RequestTable;
class SerialLine;

void serveDiagnosticRequests(SerialLine& line, RequestTable& table, LiveRecord& record);

}  // namespace m797
