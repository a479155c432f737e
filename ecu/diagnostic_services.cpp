#include "ecu/diagnostic_services.h"

#include "app/live_record.h"
#include "ecu/request_table.h"
#include "ecu/serial_line.h"

namespace m797 {

// Filled in with the trouble-code, actuator and reset services.
void serveDiagnosticRequests(SerialLine&, RequestTable&, LiveRecord&) {}

}  // namespace m797
