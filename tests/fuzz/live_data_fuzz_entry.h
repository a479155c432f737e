#pragma once
// One fuzz input: arbitrary bytes as the answers to reqLiveData01 and
// reqLiveData03, decoded into one long-lived record (so ADC_THR's carried
// state is exercised) and formatted as a CSV row. Traps when the record
// breaks an invariant the charts and the log rely on.

#include <cstddef>
#include <cstdint>

namespace m797 {

void fuzzLiveDataAnswer(const std::uint8_t* data, std::size_t size);

}  // namespace m797
