#pragma once
// Who else holds a serial device, for the message when it is refused: the
// process with a lock on it (/proc/locks), else any process with it open
// (/proc/*/fd). Best effort: processes of other users may be hidden.

#include <sys/types.h>
#include <string>

namespace m797 {

// "process 1234 (m797diag)", or an empty text when no holder can be found.
// `self` is left out of the search.
std::string describePortHolder(const std::string& device, pid_t self);

// The same from given files, for tests: `procRoot` stands for /proc.
std::string describePortHolder(const std::string& device, pid_t self, const std::string& procRoot);

}  // namespace m797
