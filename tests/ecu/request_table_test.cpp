#include <gtest/gtest.h>

#include <vector>

#include "app/live_record.h"
#include "ecu/request_table.h"

namespace m797 {
namespace {

struct Named {
    const char* name;
    const Request* request;
};

std::vector<Named> everyFixedFrame(const RequestTable& t) {
    std::vector<Named> all = {{"startCommunication", &t.startCommunication}, {"stopCommunication", &t.stopCommunication},
                              {"identA1", &t.identA1}, {"identA2", &t.identA2}, {"identA3", &t.identA3},
                              {"ecuIdentification", &t.ecuIdentification}, {"liveData03", &t.liveData03},
                              {"liveData01", &t.liveData01}, {"readDtc", &t.readDtc}, {"clearDtc", &t.clearDtc},
                              {"ecuReset", &t.ecuReset}, {"ecuInit", &t.ecuInit}};
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
    LiveRecord record;
    storeSetValueFrameHeads(record);
    completeSetValueFrame(record, 12, 0);
    EXPECT_EQ(record.actuator[12].setValueFrame[7], 0xFD);
    completeSetValueFrame(record, 12, 255);
    EXPECT_EQ(record.actuator[12].setValueFrame[7], 0xFC);
    for (int entry = 12; entry < 15; ++entry)
        for (int value = 0; value < 256; ++value) {
            completeSetValueFrame(record, entry, value);
            const std::uint8_t* f = record.actuator[entry].setValueFrame;
            ASSERT_EQ(f[7], frameChecksum(f, 7)) << "entry " << entry << " value " << value;
            ASSERT_EQ(f[4], 0x41 + entry - 12);
        }
}

}  // namespace
}  // namespace m797
