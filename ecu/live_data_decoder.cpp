#include "ecu/live_data_decoder.h"

#include <algorithm>

#include "app/record/record_lock.h"
#include "display/catalogue/catalogue.h"
#include "ecu/value_text.h"

namespace m797 {
namespace {

// Arithmetic runs in extended precision; every step is stored as a float.
using Ext = long double;
float st(Ext x) { return static_cast<float>(x); }

Ext word(std::uint8_t hi, std::uint8_t lo) { return static_cast<Ext>(hi * 256 + lo); }
// A byte read as signed, times k: ((b + 128) mod 256) * k - 128 * k.
Ext signedTimes(std::uint8_t b, Ext k) { return static_cast<Ext>((b + 128) & 0xFF) * k - 128 * k; }

// Decimal factors are double constants; quotients are extended constants.
constexpr double kBytePlot = 0.392;  // a single byte onto the 0..100 scale
constexpr Ext k5by1024 = 5.0L / 1024;
constexpr Ext k5by256 = 5.0L / 256;
constexpr Ext k100by255 = 100.0L / 255;
constexpr Ext k100by256 = 100.0L / 256;
constexpr Ext k1by13571 = 1.0L / 13.571L;
constexpr Ext k1by31872 = 1.0L / 31872;
constexpr Ext k1by1737 = 1.0L / 1.737L;
constexpr Ext k1by463 = 1.0L / 463;
constexpr Ext k1by14 = 1.0L / 1.4L;
constexpr Ext k1by6 = 1.0L / 6;

// ADC_THR: the two low bits of a 10-bit conversion sit in the top of live03 17.
float thrLowBits(std::uint8_t b, float previous) {
    switch (b) {
    case 0x00: return 0.0f;
    case 0x40: return 0.005f;
    case 0x80: return 0.01f;
    case 0xC0: return 0.015f;
    default: return previous;  // any other byte keeps the last e
    }
}

void split(AnalogSlot& s, Ext a, Ext b) {
    s.partA = st(a);
    s.partB = st(b);
    s.value = st(static_cast<Ext>(s.partA) + s.partB);
}
Ext v(const AnalogSlot& s) { return s.value; }
float lowClip(float x, float limit) { return std::min(x, limit); }

enum class Source : std::uint8_t { Live01, Live03 };
constexpr int kSingle = -1;

// Sets partA/partB (two-byte sums), value and plot from the response bytes;
// `e` is ADC_THR's carried low-bit state.
using Compute = void (*)(AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float& e);
// Runs after the text is made (FSE and RKAT limit their stored value there).
using AfterText = void (*)(AnalogSlot& s);

struct AnalogRule {
    int number;
    Source source;
    int hiPos;
    int loPos;  // kSingle: one byte, at hiPos
    Compute compute;
    AfterText afterText;
};

// In decode order: the live03 parameters, then the live01 ones.
constexpr AnalogRule kAnalogRules[] = {
    {1, Source::Live03, 21, 22, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.value = st(word(hi, lo) * k5by1024);
         s.plot = st(lowClip(s.value, 2.0f) * Ext{50});
     }, nullptr},
    {2, Source::Live03, 11, 12, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.value = st(word(hi, lo) * 0.0176);
         s.plot = st(lowClip(s.value, 24.0f) * Ext{4.2});
     }, nullptr},
    {3, Source::Live03, 25, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(static_cast<Ext>(b - 128) * 0.04901315);
         s.plot = st(st(v(s) + 6.225) * Ext{8.03});
     }, nullptr},
    {4, Source::Live03, 14, 15, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.value = st(word(hi, lo) * k5by1024);
         s.plot = st(v(s) * 20);
     }, nullptr},
    {5, Source::Live03, 18, 19, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.value = st(word(hi, lo) * k5by1024);
         s.plot = st(lowClip(s.value, 2.0f) * Ext{50});
     }, nullptr},
    {8, Source::Live03, 20, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * k5by256);
         s.plot = st(v(s) * 20);
     }, nullptr},
    {9, Source::Live03, 16, 17, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float& e) {
         e = thrLowBits(lo, e);
         split(s, hi * k5by256, e);
         s.plot = st(v(s) * 20);
     }, nullptr},
    {10, Source::Live03, 13, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * k5by256);
         s.plot = st(v(s) * 20);
     }, nullptr},
    {11, Source::Live03, 26, 27, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.value = st(word(hi, lo) * k5by1024);
         s.plot = st(lowClip(s.value, 5.0f) * Ext{20});
     }, nullptr},
    {70, Source::Live01, 13, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(st(b * Ext{0.75}) - 48);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {69, Source::Live01, 14, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(st(b * Ext{0.75}) - 48);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {65, Source::Live01, 15, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(st(b * Ext{0.75}) - 48);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {72, Source::Live01, 16, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * k1by13571);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {75, Source::Live01, 17, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * Ext{1.25});
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {77, Source::Live01, 18, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * k100by255);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {56, Source::Live01, 19, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * Ext{40});
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {63, Source::Live01, 26, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * Ext{0.75});
         s.plot = st(st(b * Ext{kBytePlot}) * Ext{1.9});
     }, nullptr},
    {58, Source::Live01, 30, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * Ext{10});
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {54, Source::Live01, 31, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {74, Source::Live01, 36, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(st(b * Ext{5.215}) - 200);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {66, Source::Live01, 41, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * k100by256);
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {53, Source::Live01, 20, 21, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.value = st(word(hi, lo) * Ext{0.1});
         // The plot takes whole tenths: (hi * 256 + lo) div 10.
         s.plot = lowClip(st(static_cast<Ext>((hi * 256 + lo) / 10) * Ext{1.66}), 100.0f);
     }, nullptr},
    {79, Source::Live01, 22, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(signedTimes(b, 0.75));
         s.plot = st(st(st(v(s) + 96) * Ext{0.5}) + 2);
     }, nullptr},
    {78, Source::Live01, 23, kSingle, [](AnalogSlot& s, std::uint8_t b, std::uint8_t, float&) {
         s.value = st(b * Ext{0.75});
         s.plot = st(b * Ext{kBytePlot});
     }, nullptr},
    {62, Source::Live01, 24, 25, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi * Ext{6}, lo * Ext{0.02345});
         s.plot = lowClip(st(v(s) * Ext{0.5}), 100.0f);
     }, nullptr},
    {67, Source::Live01, 28, 29, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.value = st(word(hi, lo) * Ext{0.024});
         s.plot = lowClip(st(v(s) * Ext{1.66}), 100.0f);
     }, nullptr},
    {55, Source::Live01, 32, 33, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi * Ext{0.4}, lo * Ext{0.00156});
         s.plot = s.value;
     }, nullptr},
    {40, Source::Live01, 34, 35, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, signedTimes(hi, 0.78125), lo * Ext{0.003058});
         s.plot = st(st(v(s) * Ext{0.5}) + 50);
     }, nullptr},
    {43, Source::Live01, 37, 38, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi / Ext{128}, lo * k1by31872);
         s.plot = st(v(s) * 50);
     }, nullptr},
    {51, Source::Live01, 39, 40, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi * Ext{0.0625}, lo * Ext{0.000243});
         s.plot = st(v(s) * Ext{6.25});
     }, nullptr},
    {61, Source::Live01, 42, 43, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi * Ext{5}, lo * Ext{0.01952});
         s.plot = lowClip(s.value, 100.0f);
     }, nullptr},
    {52, Source::Live01, 44, 45, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi * Ext{147.338}, lo * k1by1737);
         s.plot = lowClip(st(v(s) * Ext{0.2}), 100.0f);
     }, nullptr},
    {45, Source::Live01, 46, 47, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         s.partA = st(static_cast<Ext>(hi - 128) * Ext{147.3384});
         const float offset = st(s.partA + Ext{18859.3});
         s.partB = st(lo * Ext{0.5756});
         s.value = st(static_cast<Ext>(offset) + s.partB);
     }, [](AnalogSlot& s) {
         // Below 199 (not 200) becomes 200, so 199..200 plots just under 0.
         if (s.value < 199.0f) s.value = 200.0f;
         if (s.value > 300.0f) s.value = 300.0f;
         s.plot = st(v(s) - 200);
     }},
    {76, Source::Live01, 62, 63, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi * Ext{0.54933}, lo * k1by463);
         s.plot = st(v(s) * k1by14);
     }, nullptr},
    {38, Source::Live01, 67, 68, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, signedTimes(hi, 0.78125), lo * Ext{0.003058});
         s.plot = std::max(s.value, 0.0f);
     }, nullptr},
    {39, Source::Live01, 65, 66, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, signedTimes(hi, 0.78125), lo * Ext{0.003058});
         s.plot = std::max(s.value, 0.0f);
     }, nullptr},
    {44, Source::Live01, 69, 70, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, hi / Ext{128}, lo * k1by31872);
         s.plot = st(v(s) * 50);
     }, nullptr},
    {60, Source::Live01, 71, 72, [](AnalogSlot& s, std::uint8_t hi, std::uint8_t lo, float&) {
         split(s, signedTimes(hi, 12), lo * Ext{0.047});
     }, [](AnalogSlot& s) {
         s.value = std::clamp(s.value, 0.0f, 600.0f);
         s.plot = st(v(s) * k1by6);
     }},
};
static_assert(std::size(kAnalogRules) == 38);

struct CounterRule {
    int number;
    int hiPos;
};
constexpr CounterRule kCounterRules[] = {{46, 48}, {47, 50}, {48, 52}, {49, 54}, {50, 56}, {68, 58}};

// Parameter number of each bit of statusByte[0..2]; 0: not decoded.
constexpr int kStatusBitParameter[3][8] = {
    {21, 33, 64, 16, 15, 19, 20, 26},
    {17, 32, 18, 22, 27, 29, 23, 31},
    {25, 24, 30, 28, 0, 0, 0, 0},
};
constexpr int kStatusBytePos[3] = {74, 75, 76};
constexpr int kEvsup1Pos = 64;
constexpr int kChecksumPos[2] = {60, 61};
constexpr int kErrorCountPos = 12;

const Text& bitText(bool bit) {
    static const Text one = "1", zero = "0";
    return bit ? one : zero;
}

}  // namespace

LiveDataDecoder::LiveDataDecoder(char decimalSeparator) : decimalSeparator_(decimalSeparator) {
    static_assert(std::size(kAnalogRules) == kAnalogRuleCount);
    for (int i = 0; i < kAnalogRuleCount; ++i) {
        const int number = kAnalogRules[i].number;
        const CatalogueEntry* entry = catalogueEntry(number);
        targets_[i].slot = slotOf(number).index;
        targets_[i].decimals = static_cast<std::uint8_t>(entry->decimals);
        targets_[i].minusPrefix = entry->minusPrefix;
    }
}

void LiveDataDecoder::decode(const std::uint8_t* live01, const std::uint8_t* live03, const RecordWriteLock& held) {
    LiveRecord& record = held.record();
    decodeAnalog(live01, live03, record);
    decodeCounters(live01, record);
    decodeFlags(live01, record);
    decodeOthers(live01, record);
}

void LiveDataDecoder::decodeAnalog(const std::uint8_t* live01, const std::uint8_t* live03, LiveRecord& record) {
    for (int i = 0; i < kAnalogRuleCount; ++i) {
        const AnalogRule& rule = kAnalogRules[i];
        const AnalogTarget& target = targets_[i];
        const std::uint8_t* buffer = rule.source == Source::Live01 ? live01 : live03;
        AnalogSlot& s = record.analog[target.slot];
        s.raw[0] = buffer[rule.hiPos];
        s.raw[1] = rule.loPos == kSingle ? 0 : buffer[rule.loPos];
        rule.compute(s, s.raw[0], s.raw[1], thrLowBits_);
        Text text = formatFixed(s.value, target.decimals, decimalSeparator_);
        if (target.minusPrefix) text.insert(text.begin(), '-');
        s.text = std::move(text);
        if (rule.afterText != nullptr) rule.afterText(s);
    }
}

void LiveDataDecoder::decodeCounters(const std::uint8_t* live01, LiveRecord& record) const {
    for (const CounterRule& rule : kCounterRules) {
        CounterSlot& s = record.counter[slotOf(rule.number).index];
        s.raw[0] = live01[rule.hiPos];
        s.raw[1] = live01[rule.hiPos + 1];
        s.count = s.raw[0] * 256 + s.raw[1];
        s.plot = static_cast<float>(s.count / 655);
    }
}

void LiveDataDecoder::decodeFlags(const std::uint8_t* live01, LiveRecord& record) const {
    for (int byte = 0; byte < 3; ++byte) {
        StatusByte& status = record.statusByte[byte];
        status.value = live01[kStatusBytePos[byte]];
        for (int bit = 0; bit < 8; ++bit) {
            const int number = kStatusBitParameter[byte][bit];
            if (number == 0) {
                status.bitText[bit] = bitText(false);  // undecoded bits always read "0"
                continue;
            }
            const bool set = (status.value >> bit) & 1;
            FlagSlot& flag = record.flag[slotOf(number).index];
            flag.state = set ? 1 : 0;
            flag.plot = set ? 80 : 0;
            status.bitText[bit] = bitText(set);
        }
    }
}

void LiveDataDecoder::decodeOthers(const std::uint8_t* live01, LiveRecord& record) const {
    for (int i = 0; i < 2; ++i) {
        record.extraByte[i] = live01[kChecksumPos[i]];
        record.extraText[i] = hexByte(record.extraByte[i]);
    }
    StatusByte& evsup = record.statusByte[3];
    evsup.value = live01[kEvsup1Pos];
    for (int bit = 0; bit < 8; ++bit) {
        const bool set = (evsup.value >> bit) & 1;
        record.statusBits[bit] = set ? 1 : 0;
        evsup.bitText[bit] = bitText(set);
    }
    record.errorCount = live01[kErrorCountPos];
}

}  // namespace m797
