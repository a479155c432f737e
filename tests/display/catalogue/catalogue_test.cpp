#include <gtest/gtest.h>

#include <string>

#include "app/record/cp1251.h"
#include "display/catalogue/catalogue.h"

namespace m797 {
namespace {

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Windows-1251 bytes of list text and chart title, runs of spaces, trailing
// spaces and look-alike letters included (title 44 mixes Latin and Cyrillic,
// "B." of 61 and 72 and "C." of 65 are Latin, "В." of 1..10 Cyrillic).
struct TextCase {
    int number;
    const char* listText;
    const char* chartTitle;
};
const TextCase kTexts[] = {
    {1,
     "3120204144435F324F322020202020202020C0D6CF20E4E0F2F7E8EAE020EAE8F1EBEEF0EEE4E020EFEEF1EBE520EAE0F2E0EBE8E7E0F2EEF0E0",
     "4144435F324F32202020C0D6CF20E4E0F2F7E8EAE020EAE8F1EBEEF0EEE4E020EFEEF1EBE520EAE0F2E0EBE8E7E0F2EEF0E020C22E"},
    {2, "3220204144435F4241542020202020202020C0D6CF20EDE0EFF0FFE6E5EDE8FF20E1EEF0F2F1E5F2E8202020",
     "4144435F424154202020C0D6CF20EDE0EFF0FFE6E5EDE8FF20E1EEF0F2F1E5F2E820C22E"},
    {9,
     "3920204144435F54485220202020202020C0D6CF20E4E0F2F7E8EAE020EFEEEBEEE6E5EDE8FF20E4F0EEF1F1E5EBFCEDEEE920E7E0F1EBEEEDEAE8202020",
     "4144435F544852202020C0D6CF20E4E0F2F7E8EAE020EFEEEBEEE6E5EDE8FF20E4F0EEF1F1E5EBFCEDEEE920E7E0F1EBEEEDEAE820C22E"},
    {11,
     "3131202020202020202020202020202020202020202020202020C0D6CF20E4E0F2F7E8EAE020EFEEEBEEE6E5EDE8FF20EAEBE0EFE0EDE020F0E5F6E8F0EAF3FFF6E8E8",
     "4144435F454752202020C0D6CF20E4E0F2F7E8EAE020EFEEEBEEE6E5EDE8FF20EAEBE0EFE0EDE020F0E5F6E8F0EAF3FFF6E8E82E"},
    {18,
     "313820425F4B5354554D5320202020CFF3F1EAEEE2FBE520F5E0F0E0EAF2E5F0E8F1F2E8EAE820C5E2F0EEEFE020D0EEF1F1E8FF",
     "425F4B5354554D53202020CFF3F1EAEEE2FBE520F5E0F0E0EAF2E5F0E8F1F2E8EAE820C5E2F0EEEFE020D0EEF1F1E8FF2E"},
    {28,
     "323820425F534242484B20202020202020D4EBE0E320E3EEF2EEE2EDEEF1F2E820E4E0F2F7E8EAE020EAE8F1EBEEF0EEE4E020EFEEF1EBE520EDE5E9F2F0E0EBE8E7E0F2EEF0E0",
     "425F534242484B20202020202020D4EBE0E320E3EEF2EEE2EDEEF1F2E820E4E0F2F7E8EAE020EAE8F1EBEEF0EEE4E020EFEEF1EBE520EDE5E9F2F0E0EBE8E7E0F2EEF0E02E"},
    {44,
     "3434204652412020202020202020202020202020202020D2E5EAF3F9E8E920EAEEFDF4F4E8F6E8E5EDF220EAEEF0F0E5EAF6E8E820E4EBE8F2E5EBFCEDEEF1F2E820E2EFF0FBF1EAE020F2EEEFEBE8E2E0",
     "4652412020204DF3EBFCF2E8EFEB2E20F16F63F261E2EBFFFEF961FF20EA6F707065EAF6E8E82063EC6563E8206361EC6F6FE1F3F765EDE865EC2E"},
    {50,
     "353020465A414B4154532020202020202020D1F3ECECE0F0EDFBE920F1F7E5F2F7E8EA20EFF0EEEFF3F1EAEEE220E2EEF1EFEBE0ECE5EDE5EDE8FF2C20E2EBE8FFFEF9E8F520EDE020F0E0E1EEF2EEF1EFEEF1EEE1EDEEF1F2FC20EDE5E9F2F0E0EBE8E7E0F2EEF0E0",
     "465A414B415453202020D1F3ECECE0F0EDFBE920F1F7E5F2F7E8EA20EFF0EEEFF3F1EAEEE220E2EEF1EFEBE0ECE5EDE5EDE8FF2C20E2EBE8FFFEF9E8F520EDE020F0E0E1EEF2EEF1EFEEF1EEE1EDEEF1F2FC20EDE5E9F2F0E0EBE8E7E0F2EEF0E02E"},
    {57,
     "3537204E4D4F544C4C202020202020202020CEE1EEF0EEF2FB20E4E2E8E3E0F2E5EBFF20EDE020F5EEEBEEF1F2EEEC20F5EEE4F3",
     "D0E5E7E5F0E220C5332E"},
    {61,
     "363120524B524E20202020202020202020202020CDEEF0ECE0EBE8E7EEE2E0EDEDFBE920F3F0EEE2E5EDFC20F1E8E3EDE0EBE020E4E0F2F7E8EAE020E4E5F2EEEDE0F6E8E8",
     "524B524E202020CDEEF0ECE0EBE8E7EEE2E0EDEDFBE920F3F0EEE2E5EDFC20F1E8E3EDE0EBE020E4E0F2F7E8EAE020E4E5F2EEEDE0F6E8E820422E"},
    {65, "36352054414E532020202020202020202020202020D2E5ECEFE5F0E0F2F3F0E020E2EFF3F1EAEDEEE3EE20E2EEE7E4F3F5E0",
     "54414E53202020D2E5ECEFE5F0E0F2F3F0E020E2EFF3F1EAEDEEE3EE20E2EEE7E4F3F5E020432E"},
    {72, "373220554220202020202020202020202020202020202020CDE0EFF0FFE6E5EDE8E520E1EEF0F2F1E5F2E8",
     "5542202020CDE0EFF0FFE6E5EDE8E520E1EEF0F2F1E5F2E820422E"},
    {78,
     "373820574B5220202020202020202020202020202020C2E5EBE8F7E8EDE020EEF2F1EAEEEAE020D3CEC720EFF0E820E4E5F2EEEDE0F6E8E82020202020",
     "574B52202020C2E5EBE8F7E8EDE020EEF2F1EAEEEAE020D3CEC720EFF0E820E4E5F2EEEDE0F6E8E82E"},
    {79, "3739205A574F555420202020202020202020D3E3EEEB20EEEFE5F0E5E6E5EDE8FF20E7E0E6E8E3E0EDE8FF2020",
     "5A574F5554202020D3E3EEEB20EEEFE5F0E5E6E5EDE8FF20E7E0E6E8E3E0EDE8FF2E"},
};

TEST(Catalogue, TextsByteForByte) {
    for (const TextCase& c : kTexts) {
        SCOPED_TRACE(c.number);
        const CatalogueEntry* e = catalogueEntry(c.number);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->number, c.number);
        EXPECT_EQ(hex(e->listText), c.listText);
        EXPECT_EQ(hex(e->chartTitle), c.chartTitle);
    }
}

TEST(Catalogue, NumbersOutsideTheTableHaveNoEntry) {
    EXPECT_EQ(catalogueEntry(0), nullptr);
    EXPECT_EQ(catalogueEntry(80), nullptr);
    EXPECT_EQ(catalogueEntry(-1), nullptr);
    for (int n = 1; n <= 79; ++n) EXPECT_EQ(catalogueEntry(n)->number, n);
}

TEST(Catalogue, MnemonicIsFirstWordOfTitleAndEntry11IsAdcEgr) {
    EXPECT_EQ(catalogueEntry(11)->mnemonic, "ADC_EGR");
    EXPECT_EQ(catalogueEntry(11)->listText.find("ADC_EGR"), std::string::npos);
    for (int n = 1; n <= 79; ++n) {
        const CatalogueEntry* e = catalogueEntry(n);
        if (e->kind == DisplayKind::Reserved) continue;
        SCOPED_TRACE(n);
        EXPECT_EQ(e->chartTitle.substr(0, e->mnemonic.size() + 1), e->mnemonic + " ");
    }
}

// A analog, F flag, C counter, B bit string, S checksum, E error count, R reserved.
constexpr char kKinds[] = "AAAAARRAAAARRRFFFFFFFFFFFFFFFFFFFBBBSAAABRAAACCCCCAAAAAARAEAAAAFAAACAARARAAAAAA";

TEST(Catalogue, KindOfEveryEntry) {
    for (int n = 1; n <= 79; ++n) {
        SCOPED_TRACE(n);
        const char expected = kKinds[n - 1];
        const DisplayKind kind = catalogueEntry(n)->kind;
        const char actual = kind == DisplayKind::Analog       ? 'A'
                            : kind == DisplayKind::Flag       ? 'F'
                            : kind == DisplayKind::Counter    ? 'C'
                            : kind == DisplayKind::BitString  ? 'B'
                            : kind == DisplayKind::Checksum   ? 'S'
                            : kind == DisplayKind::ErrorCount ? 'E'
                                                              : 'R';
        EXPECT_EQ(actual, expected);
    }
}

// The kinds and the record's slots must agree: the charts trace a slot by kind.
TEST(Catalogue, KindMatchesTheRecordSlot) {
    for (int n = 1; n <= 79; ++n) {
        SCOPED_TRACE(n);
        const DisplayKind kind = catalogueEntry(n)->kind;
        const SlotKind slot = slotOf(n).kind;
        const SlotKind expected = kind == DisplayKind::Analog    ? SlotKind::Analog
                                  : kind == DisplayKind::Counter ? SlotKind::Counter
                                  : kind == DisplayKind::Flag    ? SlotKind::Flag
                                                                 : SlotKind::None;
        EXPECT_EQ(slot, expected);
    }
}

struct LabelCase {
    int number;
    const char* top;
    const char* middle;
    const char* bottom;
    int middleY;
    int bottomX;
};
const LabelCase kLabels[] = {
    {3, "6", "0", "-6", 60, 15},        {65, "140", "0", "-40", 90, 18},      {69, "140", "0", "-40", 90, 18},
    {70, "140", "0", "-40", 90, 18},    {74, "1200", "0", "-200", 90, 18},    {1, "2", "1", "0", 60, 18},
    {56, "10000", "5000", "0", 60, 18}, {78, "-180", "-90", "0", 60, 18},     {79, "95", "0", "-95", 60, 18},
    {15, "Да", "", "Нет", 60, 18},      {18, "Россия", "", "Европа", 60, 18},
};

TEST(Catalogue, ScaleLabelsAndPositions) {
    for (const LabelCase& c : kLabels) {
        SCOPED_TRACE(c.number);
        const CatalogueEntry* e = catalogueEntry(c.number);
        EXPECT_EQ(e->top.text, toCp1251(c.top));
        EXPECT_EQ(e->middle.text, toCp1251(c.middle));
        EXPECT_EQ(e->bottom.text, toCp1251(c.bottom));
        EXPECT_EQ(e->top.x, 18);
        EXPECT_EQ(e->top.y, 10);
        EXPECT_EQ(e->middle.x, 18);
        EXPECT_EQ(e->middle.y, c.middleY);
        EXPECT_EQ(e->bottom.x, c.bottomX);
        EXPECT_EQ(e->bottom.y, 115);
    }
}

TEST(Catalogue, EntriesWithoutTraceHaveNoLabels) {
    for (int n = 1; n <= 79; ++n) {
        const CatalogueEntry* e = catalogueEntry(n);
        if (slotOf(n).kind != SlotKind::None && e->kind != DisplayKind::Counter) continue;
        SCOPED_TRACE(n);
        EXPECT_TRUE(e->top.text.empty() && e->middle.text.empty() && e->bottom.text.empty());
    }
}

struct PairedCase {
    int number;
    int pairedWith;
    const char* prefix;  // Windows-1251 bytes
    const char* suffix;
};
const PairedCase kPaired[] = {
    {4, 53, "4D4C2020", "2020EAE32E"},             // "ML  " + text of 53 + "  кг."
    {8, 65, "54414E532020", "2020D12E"},           // "TANS  " + text of 65 + "  С."
    {9, 77, "57444B42412020", "2020252E"},         // "WDKBA  " + text of 77 + "  %."
    {10, 69, "544D4F542020", "2020D12E"},          // "TMOT  " + text of 69 + "  С."
    {53, 4, "4144435F4D41462020", "2020C22E"},     // "ADC_MAF  " + text of 4 + "  В."
    {65, 8, "4144435F54414E532020", "2020C22E"},   // "ADC_TANS  " + text of 8 + "  В."
    {69, 10, "4144435F544D4F542020", "2020C22E"},  // "ADC_TMOT  " + text of 10 + "  В."
    {72, 2, "4144435F4241542020", "2020C22E"},     // "ADC_BAT  " + text of 2 + "  В."
    {74, 5, "4144435F4F322020", "2020C22E"},       // "ADC_O2  " + text of 5 + "  В."
    {77, 9, "4144435F5448522020", "2020C22E"},     // "ADC_THR  " + text of 9 + "  В."
};

TEST(Catalogue, TheTenPairedTexts) {
    int withPair = 0;
    for (int n = 1; n <= 79; ++n) withPair += catalogueEntry(n)->pairedWith != 0 ? 1 : 0;
    EXPECT_EQ(withPair, 10);
    for (const PairedCase& c : kPaired) {
        SCOPED_TRACE(c.number);
        const CatalogueEntry* e = catalogueEntry(c.number);
        EXPECT_EQ(e->pairedWith, c.pairedWith);
        EXPECT_EQ(hex(e->pairedPrefix), c.prefix);
        EXPECT_EQ(hex(e->pairedSuffix), c.suffix);
    }
}

TEST(Catalogue, DecimalsMinusAndStatusBytes) {
    const struct {
        int number, decimals;
    } decimals[] = {{1, 3}, {38, 2}, {45, 1}, {53, 2}, {54, 0}, {56, 0}, {74, 0}, {78, 1}, {79, 1}};
    for (const auto& d : decimals) EXPECT_EQ(catalogueEntry(d.number)->decimals, d.decimals) << d.number;
    for (int n = 1; n <= 79; ++n) EXPECT_EQ(catalogueEntry(n)->minusPrefix, n == 78) << n;
    EXPECT_EQ(catalogueEntry(34)->statusByteIndex, 0);
    EXPECT_EQ(catalogueEntry(35)->statusByteIndex, 1);
    EXPECT_EQ(catalogueEntry(36)->statusByteIndex, 2);
    EXPECT_EQ(catalogueEntry(41)->statusByteIndex, 3);
}

TEST(Catalogue, ReservedTitleEverywhere) {
    for (int n : {6, 7, 12, 13, 14, 42, 57, 71, 73}) {
        EXPECT_EQ(catalogueEntry(n)->kind, DisplayKind::Reserved) << n;
        EXPECT_EQ(catalogueEntry(n)->chartTitle, toCp1251("Резерв Е3.")) << n;
    }
}

}  // namespace
}  // namespace m797
