#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "app/record/record_lock.h"
#include "ecu/request_table.h"

namespace m797 {
namespace {

std::vector<std::uint8_t> bytesOf(const Request& r) { return {r.frame, r.frame + r.length}; }

std::vector<std::uint8_t> hex(const char* text) {
    std::istringstream in(text);
    std::vector<std::uint8_t> out;
    unsigned v;
    while (in >> std::hex >> v) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(RequestTable, FixedFramesAreTheWireBytesWithTheirReadSizes) {
    const RequestTable t;
    const struct {
        const Request& r;
        const char* bytes;
        int capacity;
    } cases[] = {
        {t.startCommunication, "81 10 F1 81 03", 14}, {t.stopCommunication, "81 10 F1 82 04", 14},
        {t.identA1, "82 10 F1 21 A1 45", 21},         {t.identA2, "82 10 F1 21 A2 46", 21},
        {t.identA3, "82 10 F1 21 A3 47", 30},         {t.ecuIdentification, "82 10 F1 1A 80 1D", 130},
        {t.liveData03, "82 10 F1 21 03 A7", 40},      {t.liveData01, "82 10 F1 21 01 A5", 140},
        {t.readDtc, "84 10 F1 18 00 00 00 9D", 1024}, {t.clearDtc, "83 10 F1 14 00 00 98", 40},
        {t.ecuReset, "82 10 F1 11 01 95", 40},        {t.ecuInit, "82 10 F1 11 90 24", 40},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bytesOf(c.r), hex(c.bytes)) << c.bytes;
        EXPECT_EQ(c.r.capacity, c.capacity) << c.bytes;
        EXPECT_EQ(c.r.frame[c.r.length - 1], frameChecksum(c.r.frame, c.r.length - 1)) << c.bytes;
    }
}

TEST(RequestTable, ActuatorFramesFollowTheListOrder) {
    const RequestTable t;
    const struct {
        int entry;
        const char* report;
        const char* release;
        const char* on;
        const char* off;
    } cases[] = {
        {0, "83 10 F1 30 01 01 B6", "83 10 F1 30 01 00 B5", "84 10 F1 30 01 06 FF BB", "84 10 F1 30 01 06 00 BC"},
        {4, "83 10 F1 30 05 01 BA", "83 10 F1 30 05 00 B9", "84 10 F1 30 05 06 FF BF", nullptr},
        {6, "83 10 F1 30 09 01 BE", "83 10 F1 30 09 00 BD", "84 10 F1 30 09 06 FF C3", nullptr},
        {8, "83 10 F1 30 0D 01 C2", "83 10 F1 30 0D 00 C1", "84 10 F1 30 0D 06 FF C7", "84 10 F1 30 0D 06 00 C8"},
        {11, "83 10 F1 30 0C 01 C1", "83 10 F1 30 0C 00 C0", "84 10 F1 30 0C 06 FF C6", "84 10 F1 30 0C 06 00 C7"},
        {12, "83 10 F1 30 41 01 F6", "83 10 F1 30 41 00 F5", nullptr, nullptr},
        {14, "83 10 F1 30 43 01 F8", "83 10 F1 30 43 00 F7", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const ActuatorRequests& a = t.actuator[c.entry];
        EXPECT_EQ(bytesOf(a.report), hex(c.report)) << c.entry;
        EXPECT_EQ(bytesOf(a.release), hex(c.release)) << c.entry;
        EXPECT_EQ(a.hasOn, c.on != nullptr) << c.entry;
        EXPECT_EQ(a.hasOff, c.off != nullptr) << c.entry;
        if (c.on) {
            EXPECT_EQ(bytesOf(a.on), hex(c.on)) << c.entry;
        }
        if (c.off) {
            EXPECT_EQ(bytesOf(a.off), hex(c.off)) << c.entry;
        }
        EXPECT_EQ(a.release.length, 7) << c.entry;
        EXPECT_EQ(a.report.capacity, 40);
    }
}

TEST(RequestTable, SetValueFramesCarryTheirChecksums) {
    auto r = std::make_unique<LiveRecord>();
    storeSetValueFrameHeads(*r);
    const struct {
        int entry;
        int value;
        const char* frame;
    } cases[] = {
        {12, 0, "84 10 F1 30 41 07 00 FD"},
        {12, 255, "84 10 F1 30 41 07 FF FC"},
        {13, 80, "84 10 F1 30 42 07 50 4E"},
        {14, 100, "84 10 F1 30 43 07 64 63"},
    };
    for (const auto& c : cases) {
        completeSetValueFrame(RecordWriteLock(*r), c.entry, c.value);
        const auto& f = r->actuator[c.entry].setValueFrame;
        EXPECT_EQ(std::vector<std::uint8_t>(f, f + 8), hex(c.frame)) << c.frame;
        EXPECT_EQ(f[7], frameChecksum(f, 7)) << c.frame;
    }
}

struct Named {
    const char* name;
    const Request* request;
};

std::vector<Named> everyFixedFrame(const RequestTable& t) {
    std::vector<Named> all = {{"startCommunication", &t.startCommunication},
                              {"stopCommunication", &t.stopCommunication},
                              {"identA1", &t.identA1},
                              {"identA2", &t.identA2},
                              {"identA3", &t.identA3},
                              {"ecuIdentification", &t.ecuIdentification},
                              {"liveData03", &t.liveData03},
                              {"liveData01", &t.liveData01},
                              {"readDtc", &t.readDtc},
                              {"clearDtc", &t.clearDtc},
                              {"ecuReset", &t.ecuReset},
                              {"ecuInit", &t.ecuInit}};
    for (const ActuatorRequests& a : t.actuator) {
        all.push_back({"report", &a.report});
        all.push_back({"release", &a.release});
        if (a.hasOn) all.push_back({"on", &a.on});
        if (a.hasOff) all.push_back({"off", &a.off});
    }
    return all;
}

TEST(RequestTable, EveryFixedFrameEndsInTheSumOfTheOthersAndHasTheFramingOfItsLength) {
    const RequestTable table;
    for (const Named& n : everyFixedFrame(table)) {
        const Request& r = *n.request;
        SCOPED_TRACE(n.name);
        ASSERT_GE(r.length, 5);
        EXPECT_EQ(r.frame[r.length - 1], frameChecksum(r.frame, r.length - 1));
        EXPECT_EQ(r.frame[0], 0x80 + r.length - 4);  // format byte carries the data length
        EXPECT_EQ(r.frame[1], 0x10);
        EXPECT_EQ(r.frame[2], 0xF1);
    }
}

TEST(RequestTable, WireBytesOfTheDialogue) {
    const RequestTable t;
    struct Case {
        const Request* r;
        std::vector<std::uint8_t> bytes;
        int capacity;
    };
    const Case cases[] = {
        {&t.startCommunication, {0x81, 0x10, 0xF1, 0x81, 0x03}, 14},
        {&t.stopCommunication, {0x81, 0x10, 0xF1, 0x82, 0x04}, 14},
        {&t.identA1, {0x82, 0x10, 0xF1, 0x21, 0xA1, 0x45}, 21},
        {&t.identA3, {0x82, 0x10, 0xF1, 0x21, 0xA3, 0x47}, 30},
        {&t.ecuIdentification, {0x82, 0x10, 0xF1, 0x1A, 0x80, 0x1D}, 130},
        {&t.liveData01, {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, 140},
        {&t.liveData03, {0x82, 0x10, 0xF1, 0x21, 0x03, 0xA7}, 40},
        {&t.readDtc, {0x84, 0x10, 0xF1, 0x18, 0x00, 0x00, 0x00, 0x9D}, 1024},
        {&t.actuator[6].release, {0x83, 0x10, 0xF1, 0x30, 0x09, 0x00, 0xBD}, 40},
        {&t.actuator[6].on, {0x84, 0x10, 0xF1, 0x30, 0x09, 0x06, 0xFF, 0xC3}, 40},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::vector<std::uint8_t>(c.r->frame, c.r->frame + c.r->length), c.bytes);
        EXPECT_EQ(c.r->capacity, c.capacity);
    }
}

TEST(RequestTable, SetValueFramesCarryTheirChecksumForEveryValue) {
    const auto owned = std::make_unique<LiveRecord>();
    LiveRecord& record = *owned;
    storeSetValueFrameHeads(record);
    completeSetValueFrame(RecordWriteLock(record), 12, 0);
    EXPECT_EQ(record.actuator[12].setValueFrame[7], 0xFD);
    completeSetValueFrame(RecordWriteLock(record), 12, 255);
    EXPECT_EQ(record.actuator[12].setValueFrame[7], 0xFC);
    for (int entry = 12; entry < 15; ++entry)
        for (int value = 0; value < 256; ++value) {
            completeSetValueFrame(RecordWriteLock(record), entry, value);
            const std::uint8_t* f = record.actuator[entry].setValueFrame;
            ASSERT_EQ(f[7], frameChecksum(f, 7)) << "entry " << entry << " value " << value;
            ASSERT_EQ(f[4], 0x41 + entry - 12);
        }
}

}  // namespace
}  // namespace m797
