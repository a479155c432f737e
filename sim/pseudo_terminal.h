#pragma once
// The simulators' end of a pseudo-terminal: they answer on the master; the
// program under test opens the slave by its path.

#include <string>

namespace m797::sim {

// Opens a pseudo-terminal pair: `master` non-blocking, `slave` held open (so
// the master never sees a hang-up) and set raw at `baud`, `path` the slave's
// name. On failure says what failed in `error` (with errno's text) and
// returns false; the caller closes whatever was opened.
bool openPseudoTerminal(int& master, int& slave, std::string& path, unsigned baud, std::string* error);

}  // namespace m797::sim
