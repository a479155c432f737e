#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "display/catalogue/chart_texts.h"
#include "ecu/live_data_decoder.h"

namespace m797 {
namespace {

class ChartTexts : public ::testing::Test {
protected:
    void SetUp() override {
        live03[14] = 0x02, live03[15] = 0x00;  // ADC_MAF 2.500
        live03[16] = 0x80, live03[17] = 0x40;  // ADC_THR 2.505
        live01[18] = 255;                      // WDKBA 100,0
        live01[20] = 0x02, live01[21] = 0x5D;  // ML 60,50
        live01[23] = 4;                        // WKR -3,0
        live01[58] = 0x01, live01[59] = 0x02;  // TIME 258
        live01[74] = 0x81;                     // Byte1
        live01[76] = 0xFF;                     // Byte3: bits 4..7 read "0"
        live01[64] = 0x5A;                     // EVSUP1
        live01[60] = 0x0F, live01[61] = 0xE1;  // CHKSUMFL
        live01[12] = 12;                       // N_ERR
        LiveDataDecoder decoder(',');
        decoder.decode(live01.data(), live03.data(), RecordWriteLock(*record));
    }
    std::array<std::uint8_t, kLive01BufferSize> live01{};
    std::array<std::uint8_t, kLive03BufferSize> live03{};
    std::unique_ptr<LiveRecord> record = std::make_unique<LiveRecord>();
};

TEST_F(ChartTexts, ValueTextByKind) {
    const struct {
        int number;
        const char* text;
    } cases[] = {
        {4, "2,500"}, {53, "60,50"},    {78, "-3,0"},     {15, "B_EKP"},    {18, "B_KSTUMS"}, {68, "258"},
        {46, "0"},    {34, "10000001"}, {36, "00001111"}, {41, "01011010"}, {37, "0FE1"},     {59, "12"},
        {6, ""},      {57, ""},         {0, ""},          {80, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(chartValueText(c.number, RecordLock(*record)), c.text) << c.number;
}

TEST_F(ChartTexts, PairedTexts) {
    EXPECT_EQ(cp1251ToUtf8(chartPairedText(4, RecordLock(*record))), "ML  60,50  кг.");
    EXPECT_EQ(cp1251ToUtf8(chartPairedText(53, RecordLock(*record))), "ADC_MAF  2,500  В.");
    EXPECT_EQ(cp1251ToUtf8(chartPairedText(9, RecordLock(*record))), "WDKBA  100,0  %.");
    EXPECT_EQ(cp1251ToUtf8(chartPairedText(77, RecordLock(*record))), "ADC_THR  2,505  В.");
    EXPECT_EQ(chartPairedText(1, RecordLock(*record)), "");
    EXPECT_EQ(chartPairedText(0, RecordLock(*record)), "");
}

}  // namespace
}  // namespace m797
