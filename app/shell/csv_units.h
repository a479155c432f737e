#pragma once
// Units of the CSV log's columns, as the catalogue's chart titles state them
// ("ADC_BAT ... В." is volts), written the way analysis tools expect them.

namespace m797 {

// The unit of a parameter's column ("V", "rpm", "°C"), or nullptr where the
// catalogue names none.
const char* csvUnit(int parameterNumber);

}  // namespace m797
