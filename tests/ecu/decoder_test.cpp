#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/record/record_lock.h"
#include "ecu/live_data_decoder.h"

namespace m797 {
namespace {

enum Buffer { L01, L03 };

struct Byte {
    Buffer buffer;
    int pos;
    std::uint8_t value;
};

struct Answers {
    std::array<std::uint8_t, kLive01BufferSize> live01{};
    std::array<std::uint8_t, kLive03BufferSize> live03{};
    void set(const std::vector<Byte>& bytes) {
        for (const Byte& b : bytes) (b.buffer == L01 ? live01.data() : live03.data())[b.pos] = b.value;
    }
};

struct Fixture {
    std::unique_ptr<LiveRecord> record = std::make_unique<LiveRecord>();
    LiveDataDecoder decoder;
    Answers answers;
    explicit Fixture(char separator = '.') : decoder(separator) {}
    void decode(const std::vector<Byte>& bytes) {
        answers.set(bytes);
        decoder.decode(answers.live01.data(), answers.live03.data(), RecordWriteLock(*record));
    }
    const AnalogSlot& analog(int n) const { return record->analog[slotOf(n).index]; }
    const CounterSlot& counter(int n) const { return record->counter[slotOf(n).index]; }
    const FlagSlot& flag(int n) const { return record->flag[slotOf(n).index]; }
};

std::string withComma(std::string s) {
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

struct AnalogCase {
    const char* what;
    int number;
    std::vector<Byte> bytes;
    float value;       // stored value (after the clamp of 45 and 60)
    const char* text;  // with '.'
    float plot;
};

const AnalogCase kAnalog[] = {
    {"ADC_2O2 full scale clips the plot only",
     1,
     {{L03, 21, 0x03}, {L03, 22, 0xFF}},
     4.9951171875f,
     "4.995",
     100.0f},
    {"ADC_2O2 at 3 V plots like 2 V", 1, {{L03, 21, 0x02}, {L03, 22, 0x67}}, 3.0029296875f, "3.003", 100.0f},
    {"ADC_BAT above 24 V clips the plot only", 2, {{L03, 11, 0x07}, {L03, 12, 0xD0}}, 35.2f, "35.200", 100.8f},
    {"ADC_BS centre", 3, {{L03, 25, 0x80}}, 0.0f, "0.000", 49.98675f},
    {"ADC_BS bottom", 3, {{L03, 25, 0x00}}, -6.2736832f, "-6.274", -0.390925f},
    {"ADC_MAF", 4, {{L03, 14, 0x02}, {L03, 15, 0x00}}, 2.5f, "2.500", 50.0f},
    {"ADC_O2 reads its own bytes", 5, {{L03, 18, 0x01}, {L03, 19, 0x00}}, 1.25f, "1.250", 62.5f},
    {"ADC_TANS", 8, {{L03, 20, 0x80}}, 2.5f, "2.500", 50.0f},
    {"ADC_THR with low bits 0x40", 9, {{L03, 16, 0x80}, {L03, 17, 0x40}}, 2.505f, "2.505", 50.1f},
    {"ADC_TMOT", 10, {{L03, 13, 0xFF}}, 4.98046875f, "4.980", 99.609375f},
    {"ADC_EGR clips at 5 V", 11, {{L03, 26, 0x03}, {L03, 27, 0xFF}}, 4.9951171875f, "4.995", 99.90234375f},
    {"DMLLR negative plots 0", 38, {{L01, 67, 0xFF}, {L01, 68, 0x00}}, -0.78125f, "-0.78", 0.0f},
    {"DMLLRI positive", 39, {{L01, 65, 0x02}, {L01, 66, 0x00}}, 1.5625f, "1.56", 1.5625f},
    {"DMVAD most negative", 40, {{L01, 34, 0x80}, {L01, 35, 0x00}}, -100.0f, "-100.00", 0.0f},
    {"FR one", 43, {{L01, 37, 0x80}, {L01, 38, 0x00}}, 1.0f, "1.000", 50.0f},
    {"FRA", 44, {{L01, 69, 0x40}, {L01, 70, 0x00}}, 0.5f, "0.500", 25.0f},
    {"FSE text before its clamp to 300", 45, {{L01, 46, 0x80}, {L01, 47, 0x00}}, 300.0f, "18859.3", 100.0f},
    {"FSE far below 199 becomes 200", 45, {{L01, 46, 0x01}, {L01, 47, 0x05}}, 200.0f, "150.2", 0.0f},
    {"FSE above 300", 45, {{L01, 46, 0x02}, {L01, 47, 0x64}}, 300.0f, "352.2", 100.0f},
    {"LAMSBG", 51, {{L01, 39, 0x10}, {L01, 40, 0x00}}, 1.0f, "1.000", 6.25f},
    {"LUMS clips at 100", 52, {{L01, 44, 0x04}, {L01, 45, 0x00}}, 589.352f, "589.4", 100.0f},
    {"ML 60.5 plots whole tenths", 53, {{L01, 20, 0x02}, {L01, 21, 0x5D}}, 60.5f, "60.50", 99.6f},
    {"ML 70 clips", 53, {{L01, 20, 0x02}, {L01, 21, 0xBC}}, 70.0f, "70.00", 100.0f},
    {"MOMPOS", 54, {{L01, 31, 100}}, 100.0f, "100", 39.2f},
    {"MSNLLSS", 55, {{L01, 32, 10}, {L01, 33, 0}}, 4.0f, "4.00", 4.0f},
    {"NMOT full", 56, {{L01, 19, 255}}, 10200.0f, "10200", 99.96f},
    {"NSOL", 58, {{L01, 30, 80}}, 800.0f, "800", 31.36f},
    {"RKAT text before its clamp to 0", 60, {{L01, 71, 0xFF}, {L01, 72, 149}}, 0.0f, "-5.0", 0.0f},
    {"RKAT text before its clamp to 600", 60, {{L01, 71, 58}, {L01, 72, 100}}, 600.0f, "700.7", 100.0f},
    {"RKRN clips at 100", 61, {{L01, 42, 30}, {L01, 43, 0}}, 150.0f, "150.00", 100.0f},
    {"RL", 62, {{L01, 24, 10}, {L01, 25, 0}}, 60.0f, "60.00", 30.0f},
    {"RLP", 63, {{L01, 26, 100}}, 75.0f, "75.00", 74.48f},
    {"TANS", 65, {{L01, 15, 100}}, 27.0f, "27.0", 39.2f},
    {"TATEOUT", 66, {{L01, 41, 128}}, 50.0f, "50.0", 50.176f},
    {"TI clips at 100", 67, {{L01, 28, 0x0A}, {L01, 29, 0x28}}, 62.4f, "62.40", 100.0f},
    {"TMOT bottom", 69, {{L01, 14, 0}}, -48.0f, "-48.0", 0.0f},
    {"TMST", 70, {{L01, 13, 200}}, 102.0f, "102.0", 78.4f},
    {"UB", 72, {{L01, 16, 190}}, 14.000442f, "14.00", 74.48f},
    {"USVK bottom", 74, {{L01, 36, 0}}, -200.0f, "-200", 0.0f},
    {"USVK top rounds away", 74, {{L01, 36, 255}}, 1129.825f, "1130", 99.96f},
    {"VFZG", 75, {{L01, 17, 100}}, 125.0f, "125.0", 39.2f},
    {"VSKS", 76, {{L01, 62, 100}, {L01, 63, 0}}, 54.933f, "54.93", 39.237858f},
    {"WDKBA full", 77, {{L01, 18, 255}}, 100.0f, "100.0", 99.96f},
    {"WKR shows a minus", 78, {{L01, 23, 4}}, 3.0f, "-3.0", 1.568f},
    {"ZWOUT most negative", 79, {{L01, 22, 0x80}}, -96.0f, "-96.0", 2.0f},
    {"ZWOUT most positive, tie away", 79, {{L01, 22, 0x7F}}, 95.25f, "95.3", 97.625f},
};

TEST(Decoder, AnalogValuesTextsAndPlots) {
    for (const char separator : {'.', ','}) {
        for (const AnalogCase& c : kAnalog) {
            SCOPED_TRACE(std::string(c.what) + " separator " + separator);
            Fixture f(separator);
            f.decode(c.bytes);
            const AnalogSlot& s = f.analog(c.number);
            EXPECT_FLOAT_EQ(s.value, c.value);
            EXPECT_EQ(s.text, separator == '.' ? std::string(c.text) : withComma(c.text));
            EXPECT_NEAR(s.plot, c.plot, 1e-4f);
        }
    }
}

TEST(Decoder, FseBetween199And200PlotsJustBelowZero) {
    Fixture f;
    f.decode({{L01, 46, 0x01}, {L01, 47, 91}});  // about 199.70
    const AnalogSlot& s = f.analog(45);
    EXPECT_EQ(s.text, "199.7");
    EXPECT_GT(s.value, 199.0f);
    EXPECT_LT(s.value, 200.0f);
    EXPECT_LT(s.plot, 0.0f);
    EXPECT_GT(s.plot, -1.0f);
}

TEST(Decoder, RawBytesHighFirst) {
    Fixture f;
    f.decode({{L03, 21, 0x03}, {L03, 22, 0xFF}, {L01, 22, 0x80}});
    EXPECT_EQ(f.analog(1).raw[0], 0x03);
    EXPECT_EQ(f.analog(1).raw[1], 0xFF);
    EXPECT_EQ(f.analog(79).raw[0], 0x80);
    EXPECT_EQ(f.analog(79).raw[1], 0x00);
}

TEST(Decoder, TwoByteValuesKeepTheirParts) {
    Fixture f;
    f.decode({{L01, 34, 0x81}, {L01, 35, 100}});  // DMVAD: -99.21875 + 0.3058
    const AnalogSlot& s = f.analog(40);
    EXPECT_FLOAT_EQ(s.partA, -99.21875f);
    EXPECT_FLOAT_EQ(s.partB, 0.3058f);
    EXPECT_FLOAT_EQ(s.value, -98.91295f);
}

TEST(Decoder, AdcO2AndAdc2O2AreIndependent) {
    Fixture f;
    f.decode({{L03, 18, 0x01}, {L03, 19, 0x00}});
    EXPECT_EQ(f.analog(5).text, "1.250");
    EXPECT_EQ(f.analog(1).text, "0.000");
}

TEST(Decoder, AdcThrLowBitsCarryAcrossCycles) {
    const struct {
        std::uint8_t lowByte;
        const char* text;
    } cycles[] = {
        {0x41, "2.500"},                   // not a low-bit pattern at start: e stays 0
        {0x40, "2.505"}, {0x41, "2.505"},  // unknown pattern keeps 0.005
        {0xC0, "2.515"}, {0x3F, "2.515"}, {0x80, "2.510"}, {0x00, "2.500"}, {0xFF, "2.500"},
    };
    Fixture f;
    for (const auto& c : cycles) {
        SCOPED_TRACE(static_cast<int>(c.lowByte));
        f.decode({{L03, 16, 0x80}, {L03, 17, c.lowByte}});
        EXPECT_EQ(f.analog(9).text, c.text);
        EXPECT_EQ(f.analog(9).raw[1], c.lowByte);
    }
}

TEST(Decoder, CountersAndTheirPlots) {
    const struct {
        int number, hiPos;
        std::uint8_t hi, lo;
        int count;
        float plot;
    } cases[] = {
        {68, 58, 0xFF, 0xFF, 65535, 100.0f}, {68, 58, 0x02, 0x8E, 654, 0.0f},    {68, 58, 0x02, 0x8F, 655, 1.0f},
        {46, 48, 0x01, 0x00, 256, 0.0f},     {47, 50, 0x80, 0x00, 32768, 50.0f}, {48, 52, 0x00, 0x07, 7, 0.0f},
        {49, 54, 0x28, 0xF0, 10480, 16.0f},  {50, 56, 0xFF, 0x00, 65280, 99.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        Fixture f;
        f.decode({{L01, c.hiPos, c.hi}, {L01, c.hiPos + 1, c.lo}});
        EXPECT_EQ(f.counter(c.number).count, c.count);
        EXPECT_EQ(f.counter(c.number).raw[0], c.hi);
        EXPECT_EQ(f.counter(c.number).raw[1], c.lo);
        EXPECT_FLOAT_EQ(f.counter(c.number).plot, c.plot);
    }
}

TEST(Decoder, EachStatusBitDrivesItsFlag) {
    const struct {
        int pos, bit, number;
    } bits[] = {
        {74, 0, 21}, {74, 1, 33}, {74, 2, 64}, {74, 3, 16}, {74, 4, 15}, {74, 5, 19}, {74, 6, 20},
        {74, 7, 26}, {75, 0, 17}, {75, 1, 32}, {75, 2, 18}, {75, 3, 22}, {75, 4, 27}, {75, 5, 29},
        {75, 6, 23}, {75, 7, 31}, {76, 0, 25}, {76, 1, 24}, {76, 2, 30}, {76, 3, 28},
    };
    for (const auto& b : bits) {
        SCOPED_TRACE(b.number);
        Fixture f;
        f.decode({{L01, b.pos, static_cast<std::uint8_t>(1u << b.bit)}});
        for (int n = 1; n <= 79; ++n) {
            if (slotOf(n).kind != SlotKind::Flag) continue;
            const bool expected = n == b.number;
            EXPECT_EQ(f.flag(n).state, expected ? 1 : 0) << n;
            EXPECT_EQ(f.flag(n).plot, expected ? 80 : 0) << n;
        }
        const StatusByte& status = f.record->statusByte[b.pos - 74];
        EXPECT_EQ(status.value, 1u << b.bit);
        for (int k = 0; k < 8; ++k) EXPECT_EQ(status.bitText[k], k == b.bit ? "1" : "0") << k;
        // The flag's text stays its mnemonic.
        EXPECT_EQ(f.flag(b.number).text.substr(0, 2), b.number == 64 ? "S_" : "B_");
    }
}

TEST(Decoder, UndecodedBitsOfByte3ReadZero) {
    Fixture f;
    f.decode({{L01, 76, 0xF0}});
    for (int k = 0; k < 8; ++k) EXPECT_EQ(f.record->statusByte[2].bitText[k], "0") << k;
    EXPECT_EQ(f.record->statusByte[2].value, 0xF0);
}

TEST(Decoder, Evsup1ChecksumAndErrorCount) {
    Fixture f;
    f.decode({{L01, 64, 0xA5}, {L01, 60, 0xAB}, {L01, 61, 0x0C}, {L01, 12, 7}});
    const std::uint8_t bits[8] = {1, 0, 1, 0, 0, 1, 0, 1};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(f.record->statusBits[k], bits[k]) << k;
        EXPECT_EQ(f.record->statusByte[3].bitText[k], bits[k] ? "1" : "0") << k;
    }
    EXPECT_EQ(f.record->statusByte[3].value, 0xA5);
    EXPECT_EQ(f.record->extraByte[0], 0xAB);
    EXPECT_EQ(f.record->extraByte[1], 0x0C);
    EXPECT_EQ(f.record->extraText[0], "AB");
    EXPECT_EQ(f.record->extraText[1], "0C");
    EXPECT_EQ(f.record->errorCount, 7);
}

TEST(Decoder, SameAnswerDecodesToTheSameRecord) {
    Fixture f;
    const std::vector<Byte> bytes = {{L01, 19, 20}, {L01, 46, 0x80}, {L03, 16, 0x80}, {L03, 17, 0x40}};
    f.decode(bytes);
    const std::string nmot = f.analog(56).text, fse = f.analog(45).text, thr = f.analog(9).text;
    f.decode(bytes);
    EXPECT_EQ(f.analog(56).text, nmot);
    EXPECT_EQ(f.analog(45).text, fse);  // the clamp of the last cycle does not feed the next
    EXPECT_EQ(f.analog(9).text, thr);
}

}  // namespace
}  // namespace m797
