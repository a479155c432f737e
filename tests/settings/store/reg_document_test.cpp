// The registry export text: what is accepted, what is refused, and that a
// rewrite keeps what the program does not know.
#include <gtest/gtest.h>

#include "settings/store/reg_document.h"

namespace m797 {
namespace {

// UTF-8 text to UTF-16LE with a byte-order mark, as the registry editor saves.
std::string utf16Export(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

struct ParseCase {
    const char* name;
    std::string bytes;
    bool accepted;
};

class RegParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RegParse, AcceptsExportsAndRefusesAnythingElse) {
    std::string error;
    const auto doc = RegDocument::parse(GetParam().bytes, &error);
    EXPECT_EQ(doc.has_value(), GetParam().accepted) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegParse,
    ::testing::Values(
        ParseCase{"regedit4", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:00000001\n", true},
        ParseCase{"emptyKey", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\n", true},
        ParseCase{"headerOnly", "REGEDIT4\n", true},
        ParseCase{"commentsAndCrlf", "REGEDIT4\r\n; note\r\n[HKEY_CURRENT_USER\\A]\r\n@=\"d\"\r\n", true},
        ParseCase{"hexContinued", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"b\"=hex:01,02,\\\n  03,04\n", true},
        ParseCase{"typedHex", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"q\"=hex(b):01,00,00,00,00,00,00,00\n", true},
        ParseCase{"escapedString", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"s\"=\"a\\\"b\\\\c\"\n", true},
        ParseCase{"stringEndingInBackslash",
                  "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"p\"=\"C:\\\\\"\n\"x\"=dword:00000001\n", true},
        ParseCase{"version5Utf16",
                  utf16Export("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\TORVAL]\r\n\r\n"),
                  true},
        ParseCase{"utf8Bom", "\xEF\xBB\xBFREGEDIT4\n", true}, ParseCase{"empty", "", false},
        ParseCase{"otherHeader", "REGEDIT5\n", false},
        ParseCase{"valueBeforeKey", "REGEDIT4\n\"x\"=dword:00000001\n", false},
        ParseCase{"dwordTooLong", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:000000001\n", false},
        ParseCase{"dwordNotHex", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:0000000g\n", false},
        ParseCase{"unterminatedString", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"abc\n", false},
        ParseCase{"unterminatedName", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x=dword:00000001\n", false},
        ParseCase{"unknownLine", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\ngarbage\n", false},
        ParseCase{"deletion", "REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n", false},
        ParseCase{"unclosedKey", "REGEDIT4\n[HKEY_CURRENT_USER\\A\n", false},
        // Seven bytes: the UTF-16 mark, two letters and half of a third.
        ParseCase{"oddUtf16", std::string("\xFF\xFER\0E\0G", 7), false},
        ParseCase{"binaryJunk", std::string("\x00\x01\x02REGEDIT4", 11), false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct DataCase {
    const char* data;
    bool valid;
    bool isDword;
    std::uint32_t dword;
    std::size_t size;
};

class RegDataKind : public ::testing::TestWithParam<DataCase> {};

// The size decides between the two read errors (the registry is read into
// 4 bytes), so it must count like the registry: a string's terminating zero
// included.
TEST_P(RegDataKind, ClassifiesTypeAndSize) {
    const DataCase& c = GetParam();
    const auto d = classifyRegData(c.data);
    ASSERT_EQ(d.has_value(), c.valid) << c.data;
    if (!d) return;
    EXPECT_EQ(d->isDword, c.isDword) << c.data;
    EXPECT_EQ(d->size, c.size) << c.data;
    if (c.isDword) {
        EXPECT_EQ(d->dword, c.dword) << c.data;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegDataKind,
    ::testing::Values(DataCase{"dword:00000045", true, true, 0x45, 4},
                      DataCase{"dword:ffffffff", true, true, 0xFFFFFFFFu, 4},
                      DataCase{"DWORD:1", true, true, 1, 4}, DataCase{"\"abc\"", true, false, 0, 4},
                      DataCase{"\"abcd\"", true, false, 0, 5}, DataCase{"\"\"", true, false, 0, 1},
                      DataCase{"hex:01,02,03,04", true, false, 0, 4},
                      DataCase{"hex(4):01,02,03,04,05", true, false, 0, 5}, DataCase{"hex:", true, false, 0, 0},
                      DataCase{"dword:", false, false, 0, 0}, DataCase{"hex:1,,2", false, false, 0, 0},
                      DataCase{"hex:123", false, false, 0, 0}, DataCase{"-", false, false, 0, 0},
                      DataCase{"42", false, false, 0, 0}));

TEST(RegDocumentTest, ReadsAVersion5Utf16Export) {
    const auto doc = RegDocument::parse(
        utf16Export("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F3]\r\n"
                    "\"diagram_1\"=dword:0000004e\r\n\r\n"));
    ASSERT_TRUE(doc);
    const RegValue* v = doc->findValue("HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F3", "DIAGRAM_1");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(classifyRegData(v->data)->dword, 78u);
    EXPECT_TRUE(doc->keyExists("hkey_current_user\\torval"));               // implied by the key below it
    EXPECT_FALSE(doc->keyExists("HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F"));  // F is not F3's parent
}

TEST(RegDocumentTest, RewriteKeepsUnknownSectionsAndValues) {
    const std::string original =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Other]\n\"s\"=\"kept \\\"as\\\" is\"\n\n"
        "[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT]\n\"GRID_R\"=dword:00000001\n"
        "\"Comment\"=hex(2):41,00,00,00\n@=\"default\"\n\n";
    auto doc = RegDocument::parse(original);
    ASSERT_TRUE(doc);
    doc->setDword("HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT", "grid_r", 50);
    doc->setDword("HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F1", "diagram_1", 1);
    EXPECT_EQ(doc->serialise(),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Other]\n\"s\"=\"kept \\\"as\\\" is\"\n\n"
              "[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT]\n\"GRID_R\"=dword:00000032\n"
              "\"Comment\"=hex(2):41,00,00,00\n@=\"default\"\n\n"
              "[HKEY_CURRENT_USER\\TORVAL]\n\n[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM]\n\n"
              "[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F1]\n\"diagram_1\"=dword:00000001\n\n");
    // And what is written reads back the same.
    const auto again = RegDocument::parse(doc->serialise());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->serialise(), doc->serialise());
}

TEST(RegDocumentTest, Utf16TextBecomesUtf8) {
    // "Я" (U+042F) and a surrogate pair (U+1F600).
    EXPECT_EQ(utf16leToUtf8(std::string("\x2F\x04\x3D\xD8\x00\xDE", 6)), "\xD0\xAF\xF0\x9F\x98\x80");
    EXPECT_FALSE(utf16leToUtf8(std::string("\x00\xDC", 2)));  // lone low surrogate
}

}  // namespace
}  // namespace m797
