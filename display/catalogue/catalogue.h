#pragma once
// The catalogue of the 79 live parameters: list text, chart title, scale
// labels, display kind, value-text source, paired text and chart rule. A
// constant table indexed by parameter number minus one; texts are
// Windows-1251.

#include <cstdint>

#include "app/record/live_record.h"

namespace m797 {

enum class DisplayKind : std::uint8_t { Analog, Flag, Counter, BitString, Checksum, ErrorCount, Reserved };

struct ScaleLabel {
    Text text;   // empty: no label at this place
    int x = 18;  // pixel position in the chart's text layer (origin top-left)
    int y = 0;
};

struct CatalogueEntry {
    int number = 0;  // 1..79
    Text listText;   // item text of the settings dialog's lists
    Text mnemonic;   // entry 11: "ADC_EGR"
    Text chartTitle;
    DisplayKind kind = DisplayKind::Reserved;
    ScaleLabel top, middle, bottom;
    int decimals = 0;          // analog value texts
    bool minusPrefix = false;  // entry 78 shows "-" before its value
    int pairedWith = 0;        // parameter whose text the paired text shows; 0: none
    Text pairedPrefix, pairedSuffix;
    int statusByteIndex = -1;  // bit strings: which statusByte[] they show
};

// nullptr for numbers outside 1..79.
const CatalogueEntry* catalogueEntry(int parameterNumber);

}  // namespace m797
