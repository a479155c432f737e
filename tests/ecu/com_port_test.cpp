#include <gtest/gtest.h>

#include <initializer_list>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>

#include "tests/ecu/link_fixture.h"

namespace m797 {
namespace {

using namespace m797::testing;
using namespace std::chrono;
using Names = std::vector<std::string>;

const std::string kConnecting = "Установление связи.";
const std::string kCheckAdapter = "Проверте адаптер!";
const std::string kNoAnswer = "Нет ответа.";
const std::string kEcuSilent = "Контроллер не отвечает.";
const std::string kNoAdapter = "Адаптер не подключен!";
const std::string kData = "Данные получены.";
const std::string kLineNoise = "Помехи на линии!";

const Names kConnectionStart = {"82", "00@360", "81", "21A1", "21A2", "21A3", "1A80"};

long countOf(const Names& names, const std::string& name) { return std::count(names.begin(), names.end(), name); }

TEST(ComPortLoop, ConnectsReadsIdentificationThenPollsBothBlocksEveryCycle) {
    Link link;
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.cycles >= 5; }));
    link.port->suspend();
    const Names wire = frameNames(link.simulator);
    ASSERT_GE(wire.size(), kConnectionStart.size() + 10);
    EXPECT_EQ(Names(wire.begin(), wire.begin() + 7), kConnectionStart);
    // The first poll cycle follows the identification in the same pass.
    for (std::size_t i = 7; i + 1 < wire.size(); i += 2) {
        EXPECT_EQ(wire[i], "2101") << i;
        EXPECT_EQ(wire[i + 1], "2103") << i;
    }
    const Names statuses = link.statusLog();
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], kConnecting);
    EXPECT_TRUE(std::all_of(statuses.begin() + 1, statuses.end(), [](auto& s) { return s == kData; }));
    std::lock_guard guard(link.record.lock);
    EXPECT_EQ(link.record.identText[0], "XTA21703090012345");
    EXPECT_EQ(link.record.identText[7], "ID-04417");
    EXPECT_EQ(link.record.identText[8], "21126-8");
    EXPECT_EQ(link.record.identText[9], "LADA-21");
    EXPECT_EQ(link.record.identText[10], "14.03.2012");
    EXPECT_EQ(link.record.newSample.load(), 1);
    EXPECT_EQ(link.record.linkUp.load(), 1);
    EXPECT_EQ(utf8(link.record.statusText), kData);
}

struct GiveUpCase {
    sim::Fault fault;
    std::string failure;
    std::string final;
};

std::string giveUpCaseName(const ::testing::TestParamInfo<GiveUpCase>& info) {
    static const char* const names[] = {"NoAdapter", "EchoOnly", "OtherKeyBytes"};
    return names[info.index];
}

void PrintTo(const GiveUpCase& c, std::ostream* os) { *os << "fault " << static_cast<int>(c.fault); }

class ComPortGiveUp : public ::testing::TestWithParam<GiveUpCase> {};

TEST_P(ComPortGiveUp, TenFailedStartsGiveUpSwitchTheButtonsSuspendAndCloseThePort) {
    const GiveUpCase& c = GetParam();
    Link link(fastSim(c.fault));
    {
        std::lock_guard guard(link.record.lock);
        for (Text& t : link.record.identText) t = "old";
    }
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.giveUps > 0; }, 30000));
    EXPECT_TRUE(link.port->isSuspended());
    EXPECT_FALSE(link.port->portOpen());
    EXPECT_FALSE(link.port->connectionActive());
    Names expected = {kConnecting};
    expected.insert(expected.end(), 10, c.failure);
    expected.push_back(c.final);
    EXPECT_EQ(link.statusLog(), expected);
    if (c.failure == kNoAnswer) {
        std::lock_guard guard(link.record.lock);
        for (const Text& t : link.record.identText) EXPECT_TRUE(t.empty());
    }
    // Every attempt was a full connection start.
    const Names wire = frameNames(link.simulator);
    EXPECT_EQ(countOf(wire, "00@360"), 10);
    EXPECT_EQ(countOf(wire, "81"), 10);
    // "Старт" after the give-up opens the port again.
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.statusLog().size() > expected.size() + 1; }));
    EXPECT_EQ(link.statusLog()[expected.size()], kConnecting);
}

INSTANTIATE_TEST_SUITE_P(Faults, ComPortGiveUp,
                         ::testing::Values(GiveUpCase{sim::Fault::NoAdapter, kCheckAdapter, kNoAdapter},
                                           GiveUpCase{sim::Fault::EchoOnly, kCheckAdapter, kNoAdapter},
                                           GiveUpCase{sim::Fault::OtherKeyBytes, kNoAnswer, kEcuSilent}),
                         giveUpCaseName);

TEST(ComPortLoop, LostLiveDataStartsTheNextPassWithStopCommunicationAndAWakeUp) {
    sim::SimOptions o = fastSim(sim::Fault::LiveDataStops);
    o.liveDataStopsAfter = 3;
    Link link(o, kPatientTimeouts);  // only the 4th cycle may go unanswered
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.cyclesWithData >= 6; }));
    link.port->suspend();
    const Names wire = frameNames(link.simulator);
    // Cycles 1..3 answered, the 4th went unanswered, then a new connection.
    Names expected = kConnectionStart;
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), {"2101", "2103"});
    expected.insert(expected.end(), kConnectionStart.begin(), kConnectionStart.end());
    expected.insert(expected.end(), {"2101", "2103"});
    ASSERT_GE(wire.size(), expected.size());
    EXPECT_EQ(Names(wire.begin(), wire.begin() + expected.size()), expected);
    EXPECT_EQ(link.cycles - link.cyclesWithData, 1);
    for (const std::string& s : link.statusLog()) EXPECT_TRUE(s == kConnecting || s == kData) << s;
}

TEST(ComPortLoop, StopHaltsTheLineAndStartContinuesTheSameConnection) {
    Link link;
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.cycles >= 3; }));
    link.port->suspend();
    const auto stoppedAt = steady_clock::now();
    EXPECT_TRUE(link.port->isSuspended());
    std::this_thread::sleep_for(milliseconds(300));
    for (const auto& f : link.simulator.frames())
        EXPECT_LT(f.at, stoppedAt + milliseconds(60)) << "traffic after Стоп";
    const long cyclesAtStop = link.cycles;
    link.simulator.clearFrames();
    link.port->resume();
    // A cycle that "Стоп" cut short in its 21 01 read finishes that read
    // without writing the request again: one cycle more than requests.
    ASSERT_TRUE(waitFor([&] { return link.cycles >= cyclesAtStop + 4; }));
    const Names wire = frameNames(link.simulator);
    EXPECT_EQ(countOf(wire, "00@360"), 0);
    EXPECT_EQ(countOf(wire, "81"), 0);
    EXPECT_GE(countOf(wire, "2101"), 3);
    EXPECT_TRUE(link.simulator.ecu().sessionActive);
}

TEST(ComPortLoop, StopInTheMiddleOfALongReadTakesEffectAtOnce) {
    // No adapter: every read runs to its total time-out, so "Стоп" lands in one.
    Link link(fastSim(sim::Fault::NoAdapter));
    link.port->resume();
    std::this_thread::sleep_for(milliseconds(70));
    link.simulator.clearFrames();
    link.port->suspend();
    const auto stoppedAt = steady_clock::now();
    std::this_thread::sleep_for(milliseconds(300));
    for (const auto& f : link.simulator.frames()) EXPECT_LT(f.at, stoppedAt + milliseconds(60));
}

TEST(ComPortLoop, TerminateServesPendingActuatorReleasesEvenWhenSuspended) {
    Link link;
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.cycles >= 2; }));
    link.port->suspend();
    std::this_thread::sleep_for(milliseconds(50));
    link.simulator.clearFrames();
    link.record.actuator[7].releaseRequest = 1;
    const auto t0 = steady_clock::now();
    link.port->terminate();
    const double s = duration<double>(steady_clock::now() - t0).count();
    EXPECT_LT(s, 3.0);                                          // at most the two-second grace
    EXPECT_GE(countOf(frameNames(link.simulator), "2101"), 1);  // cycles ran while suspended
    EXPECT_FALSE(link.port->portOpen());
}

TEST(ComPortLoop, TerminateWithoutPendingReleasesStopsAtOnce) {
    Link link;
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.cycles >= 1; }));
    const auto t0 = steady_clock::now();
    link.port->terminate();
    EXPECT_LT(duration<double>(steady_clock::now() - t0).count(), 0.5);
    link.port->terminate();  // twice is harmless
}

TEST(ComPortLoop, DamagedAndLateAnswersNeverStopTheLoop) {
    for (sim::Fault fault : {sim::Fault::Garbled, sim::Fault::Truncated, sim::Fault::Slow}) {
        Link link(fastSim(fault));
        link.port->resume();
        std::this_thread::sleep_for(milliseconds(1500));
        link.port->suspend();
        EXPECT_FALSE(link.statusLog().empty());
    }
}

// A line that answers StartCommunication with given bytes and nothing else.
class ScriptedStartLine : public SerialLine {
public:
    explicit ScriptedStartLine(std::vector<std::uint8_t> start) : start_(std::move(start)) {}
    bool openPort() override { return true; }
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t, std::uint8_t* answer,
                           std::uint32_t capacity) override {
        std::this_thread::sleep_for(milliseconds(1));
        if (request[3] != 0x81) return 0;
        std::copy(start_.begin(), start_.end(), answer);
        return std::min<std::uint32_t>(start_.size(), capacity);
    }
    void sendWakeUpPulse() override {}
    void closePort() override {}

private:
    std::vector<std::uint8_t> start_;
};

TEST(ComPortStartTest, JudgesOnlyTheBytesThatWereRead) {
    struct Case {
        std::vector<std::uint8_t> answer;
        bool accepted;
        std::string failure;
    };
    using Bytes = std::vector<std::uint8_t>;
    const Bytes echo{0x81, 0x10, 0xF1, 0x81, 0x03};
    const Bytes twice{0x81, 0x81, 0x10, 0x10, 0xF1, 0xF1, 0x81, 0x81, 0x03, 0x03};
    const Bytes accepted{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};
    const Bytes otherUnit{0x83, 0xF1, 0x17, 0xC1, 0xEF, 0x8F, 0xCA};
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Case cases[] = {
        {{}, false, kCheckAdapter},    // nothing read
        {echo, false, kCheckAdapter},  // echo only
        {join({echo, accepted}), true, ""},
        {join({echo, accepted, otherUnit}), true, ""},  // another unit after the answer
        {join({echo, otherUnit, accepted}), true, ""},
        {join({twice, accepted}), true, ""},  // an adapter that echoes twice
        {join({echo, {0x83, 0xF1, 0x10, 0xC1, 0xF0, 0x8E, 0xC3}}), false, kNoAnswer},  // other key bytes
        {join({echo, {0x83, 0xF1, 0x10, 0xC1, 0xEE, 0x8F, 0xC3}}), false, kNoAnswer},  // damaged, ends 8F C3
        {join({echo, otherUnit}), false, kCheckAdapter},                               // only another unit answers
        {{0xC3}, false, kLineNoise},  // bytes of no frame are no answer
        {{0x8F, 0xC3}, false, kLineNoise},
        {{0x81, 0x10, 0x3E, 0xF1, 0x81, 0x03, 0x83, 0xF1, 0x5A, 0x10, 0xC1}, false, kLineNoise},
    };
    for (const Case& c : cases) {
        std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
        LiveRecord& record = *ownedRecord;
        Com_Port port(record, std::make_unique<ScriptedStartLine>(c.answer));
        std::mutex m;
        std::vector<std::string> statuses;
        std::atomic<int> connections{0};
        port.setStatusObserver([&](const LinkEvent& e) {
            std::lock_guard g(m);
            statuses.push_back(utf8(linkStatusText(e.status)));
        });
        port.setConnectionObserver([&](const Com_Port::Identification&) { ++connections; });
        port.resume();
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard g(m);
            return statuses.size() >= 2 || connections > 0;
        }));
        port.terminate();
        std::lock_guard g(m);
        if (c.accepted) {
            EXPECT_GT(connections, 0);
        } else {
            EXPECT_EQ(connections, 0);
            EXPECT_EQ(statuses.at(1), c.failure);
        }
    }
}

TEST(ComPortLoop, WithoutALineThePortNeverOpens) {
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    Com_Port port(record, nullptr);
    port.resume();
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard guard(record.lock);
        return !record.statusText.empty();
    }));
    EXPECT_TRUE(port.isSuspended());
    std::lock_guard guard(record.lock);
    EXPECT_EQ(utf8(record.statusText), "Ошибка открытия порта!");
}

// Observers hear the state as a value; a port that cannot be opened comes
// with the errno of the failed open, so no one reads the status text back.
TEST(ComPortLoop, AFailedOpenIsToldAsItsStateWithItsErrno) {
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    Com_Port port(*ownedRecord, std::make_unique<PosixSerialLine>("/nonexistent/m797-no-port", kFastTimeouts));
    std::mutex m;
    std::vector<LinkEvent> events;
    port.setStatusObserver([&](const LinkEvent& e) {
        std::lock_guard g(m);
        events.push_back(e);
    });
    port.resume();
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard g(m);
        return !events.empty();
    }));
    port.terminate();
    std::lock_guard g(m);
    EXPECT_EQ(events.front().status, LinkStatus::PortOpenFailed);
    EXPECT_EQ(events.front().errorNumber, ENOENT);
}

}  // namespace
}  // namespace m797
