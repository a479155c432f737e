#pragma once
// One fuzz input: arbitrary bytes as a trace file. It is read, every record
// read is written again and must read back the same, and the trace is played
// through a replay line as the acquisition thread would ask for it. Traps
// when an invariant breaks; a crash or a hang is the fault the fuzzer hunts.

#include <cstddef>
#include <cstdint>

namespace m797 {

void fuzzTraceFile(const std::uint8_t* data, std::size_t size);

}  // namespace m797
