// The acquisition loop through the ELM327 line against the simulated ELM327
// (pseudo-terminal and TCP on 127.0.0.1), in fast timing: every function of
// the window's link, each error answer, a port that is no ELM327, and an
// adapter pulled out and plugged in again.
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "app/record/cp1251.h"
#include "ecu/elm327_line.h"
#include "link_fixture.h"
#include "sim/elm327_simulator.h"
#include "sim/pseudo_terminal.h"

namespace m797::testing {
namespace {

using namespace std::chrono;

// Long enough for a loaded machine, short enough that a pulled adapter is
// noticed within a test.
constexpr Elm327Timeouts kTestTimeouts{1500, 1000, 1500, 600, 1000};

sim::Elm327Options elmOptions(sim::ElmFault fault = sim::ElmFault::None, int tcpPort = -1) {
    sim::Elm327Options o;
    o.base.realTiming = false;
    o.fault = fault;
    o.tcpPort = tcpPort;
    return o;
}

struct ElmLink {
    explicit ElmLink(sim::Elm327Options options = elmOptions(), bool overTcp = false)
        : simulator(std::move(options)) {
        EXPECT_TRUE(simulator.start());
        const std::string port = overTcp ? "tcp:127.0.0.1:" + std::to_string(simulator.tcpPort())
                                         : simulator.slavePath();
        auto line = std::make_unique<Elm327Line>(port, Elm327Line::kDefaultBaud, kTestTimeouts);
        elm = line.get();
        com = std::make_unique<Com_Port>(record, std::move(line));
        com->setStatusObserver([this](const LinkEvent& event) {
            std::lock_guard guard(mutex);
            statuses.push_back(utf8(linkStatusText(event.status)));
        });
        com->setGiveUpHandler([this] { ++giveUps; });
        com->setCycleObserver([this](const RecordLock&, bool got) {
            ++cycles;
            if (got) ++cyclesWithData;
        });
    }
    ~ElmLink() {
        com->terminate();
        simulator.stop();
    }
    bool sawStatus(const std::string& text) {
        std::lock_guard guard(mutex);
        return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    }
    bool dataAfter(long cyclesSoFar) {
        const long target = cyclesSoFar + 2;
        return waitFor([&] { return cyclesWithData >= target; });
    }
    Text stateText(int entry) {
        const RecordLock held(record);
        return held.record().actuator[entry].stateText;
    }

    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    sim::Elm327Simulator simulator;
    Elm327Line* elm = nullptr;
    std::unique_ptr<Com_Port> com;
    std::mutex mutex;
    std::vector<std::string> statuses;
    std::atomic<int> giveUps{0};
    std::atomic<long> cycles{0};
    std::atomic<long> cyclesWithData{0};
};

TEST(Elm327Line, SetsTheAdapterUpAndReadsLiveDataAndIdentification) {
    ElmLink link;
    link.com->resume();
    ASSERT_TRUE(link.dataAfter(0));
    EXPECT_EQ(link.com->badAnswers().total(), 0);
    EXPECT_EQ(link.elm->identity(), sim::Elm327Interpreter::kIdentity);
    EXPECT_TRUE(link.elm->responseCountsTaken());
    {
        const RecordLock held(link.record);
        EXPECT_EQ(held.record().identText[0], "XTA21703090012345");
        EXPECT_EQ(held.record().identText[9], "LADA-21");
    }
    const auto c = link.simulator.commands();
    for (const char* step :
         {"ATWS", "ATI", "ATE0", "ATH1", "ATAL", "ATSP5", "ATSH8110F1", "ATSW00", "ATFI", "ATKW"})
        EXPECT_NE(std::find(c.begin(), c.end(), step), c.end()) << step;
    // Requests carry a response count; StartCommunication is the adapter's own.
    EXPECT_NE(std::find(c.begin(), c.end(), "21011"), c.end());
    EXPECT_EQ(std::find(c.begin(), c.end(), "811"), c.end());
    EXPECT_TRUE(link.sawStatus(utf8(linkStatusText(LinkStatus::DataReceived))));
}

TEST(Elm327Line, TroubleCodesActuatorsAndResetGoThroughTheAdapter) {
    ElmLink link;
    link.simulator.setEngineRunning(false);
    link.com->resume();
    ASSERT_TRUE(link.dataAfter(0));

    link.record.readDtcRequest = 1;
    ASSERT_TRUE(link.dataAfter(link.cyclesWithData));
    EXPECT_EQ(link.record.dtcResponse[8 + 4], 2);  // two stored codes
    link.record.readDtcRequest = 0;
    link.record.clearDtcRequest = 1;
    ASSERT_TRUE(waitFor([&] { return link.simulator.ecu().troubleCodes.empty(); }));

    link.record.actuatorWindowOpen = 1;
    link.record.actuator[7].reportRequest = 1;  // fan relay 1 (0x0A)
    link.record.actuator[7].onRequest = 1;
    ASSERT_TRUE(waitFor([&] { return link.simulator.ecu().forced[0x0A].forced; }));
    ASSERT_TRUE(waitFor([&] { return link.stateText(7) == toCp1251("ВКЛ"); }));
    link.record.actuator[7].releaseRequest = 1;
    ASSERT_TRUE(waitFor(
        [&] { return !link.simulator.ecu().forced[0x0A].forced && link.record.actuator[7].releaseRequest == 0; }));

    link.record.ecuResetRequest = 1;
    ASSERT_TRUE(waitFor([&] { return link.simulator.ecu().resets == 1; }));
    // The control unit is silent for a second after a reset; the loop wakes it again.
    EXPECT_TRUE(link.dataAfter(link.cyclesWithData));
}

// "Стоп" cuts a read through the adapter short; "Старт" reads on for the
// same answer: no request goes out twice, no answer is paired with the
// wrong request.
TEST(Elm327Line, StopAndStartInTheMiddleOfAnAnswer) {
    sim::Elm327Options o = elmOptions();
    o.base.realTiming = true;  // an answer takes long enough to be cut
    ElmLink link(o);
    link.com->resume();
    ASSERT_TRUE(link.dataAfter(0));
    for (int i = 0; i < 6; ++i) {
        link.com->suspend();
        std::this_thread::sleep_for(milliseconds(40));
        link.com->resume();
        std::this_thread::sleep_for(milliseconds(70 + 20 * i));
    }
    ASSERT_TRUE(link.dataAfter(link.cyclesWithData));
    link.com->suspend();
    std::this_thread::sleep_for(milliseconds(300));  // the last answer, if cut, stays unread
    EXPECT_EQ(link.com->badAnswers().total(), 0) << link.com->badAnswers().summary();
    const auto c = link.simulator.commands();
    const long live01 = std::count(c.begin(), c.end(), "21011");
    EXPECT_LE(live01, link.com->pollCycles() + 1);
    EXPECT_GE(live01, link.com->pollCycles());
}

TEST(Elm327Line, ErrorAnswersGiveThePlainAdaptersStatuses) {
    {
        ElmLink link(elmOptions(sim::ElmFault::InitRefused));
        link.com->resume();
        ASSERT_TRUE(waitFor([&] { return link.giveUps == 1; }, 20000));
        EXPECT_TRUE(link.sawStatus(utf8(linkStatusText(LinkStatus::CheckAdapter))));
        EXPECT_TRUE(link.sawStatus(utf8(linkStatusText(LinkStatus::AdapterMissing))));
        EXPECT_EQ(link.cyclesWithData, 0);
    }
    {
        ElmLink link(elmOptions(sim::ElmFault::NoData));
        link.com->resume();
        ASSERT_TRUE(waitFor([&] { return link.cycles >= 3; }));
        link.com->suspend();
        EXPECT_EQ(link.cyclesWithData, 0);
        EXPECT_GT(link.com->badAnswers().byKind[static_cast<int>(AnswerFault::NoAnswer)], 0);
        EXPECT_FALSE(link.sawStatus(utf8(linkStatusText(LinkStatus::DataReceived))));
    }
    {
        ElmLink link(elmOptions(sim::ElmFault::DataError));
        link.com->resume();
        ASSERT_TRUE(
            waitFor([&] { return link.com->badAnswers().byKind[static_cast<int>(AnswerFault::Checksum)] >= 2; }));
        EXPECT_TRUE(link.dataAfter(link.cyclesWithData));  // damaged answers are left out, the link goes on
        link.com->suspend();
        EXPECT_EQ(link.com->badAnswers().total(),
                  link.com->badAnswers().byKind[static_cast<int>(AnswerFault::Checksum)]);
    }
}

TEST(Elm327Line, AnAdapterPulledOutAndPluggedInAgainIsFoundAgain) {
    for (bool overTcp : {false, true}) {
        ElmLink link(elmOptions(sim::ElmFault::None, overTcp ? 0 : -1), overTcp);
        link.com->resume();
        ASSERT_TRUE(link.dataAfter(0)) << overTcp;
        link.simulator.setUnplugged(true);
        ASSERT_TRUE(waitFor([&] { return link.sawStatus(utf8(linkStatusText(LinkStatus::CheckAdapter))); }, 20000))
            << overTcp;
        link.simulator.setUnplugged(false);
        EXPECT_TRUE(link.dataAfter(link.cyclesWithData)) << overTcp;
    }
}

TEST(Elm327Line, WiFiFormOnTheLoopback) {
    ElmLink link(elmOptions(sim::ElmFault::None, 0), true);
    link.com->resume();
    ASSERT_TRUE(link.dataAfter(0));
    EXPECT_EQ(link.com->badAnswers().total(), 0);
}

TEST(Elm327Line, RefusesAPortThatIsNoElm327) {
    struct Row {
        sim::Fault plainAdapter;
        int error;
        const char* says;
    };
    // A plain K-line adapter echoes the text; without one nothing answers.
    const Row rows[] = {{sim::Fault::None, EPROTO, "no ELM327"}, {sim::Fault::NoAdapter, ETIMEDOUT, "no answer"}};
    for (const Row& r : rows) {
        sim::KLineSimulator plain(fastSim(r.plainAdapter));
        ASSERT_TRUE(plain.start());
        Elm327Line line(plain.slavePath(), Elm327Line::kDefaultBaud, Elm327Timeouts{300, 300, 300, 300, 300});
        EXPECT_FALSE(line.openPort());
        EXPECT_EQ(line.lastErrorNumber(), r.error);
        EXPECT_NE(line.lastErrorText().find(r.says), std::string::npos) << line.lastErrorText();
        std::uint8_t answer[14] = {};
        const std::uint8_t stop[] = {0x81, 0x10, 0xF1, 0x82, 0x04};
        EXPECT_EQ(line.exchange(stop, 5, answer, 14), 0u);  // a refused port stays shut
    }
}

// Without a rate given the adapter is looked for at the usual ones; a
// rate given is the only one tried, and text at the wrong one is garbled.
TEST(Elm327Line, LooksForTheAdapterAtTheUsualRates) {
    // A wrong rate costs the reset's time-out; the right one answers at once,
    // with room for a loaded machine.
    const Elm327Timeouts quick{700, 1000, 1500, 1000, 1000};
    for (const unsigned rate : {38400u, 9600u, 115200u, 230400u}) {
        sim::Elm327Options o = elmOptions();
        o.adapterBaud = rate;
        sim::Elm327Simulator simulator(o);
        ASSERT_TRUE(simulator.start());
        Elm327Line line(simulator.slavePath(), Elm327Line::kSearchBaud, quick);
        ASSERT_TRUE(line.openPort()) << rate << ": " << line.lastErrorText();
        EXPECT_EQ(line.baud(), rate);
        line.closePort();
        ASSERT_TRUE(line.openPort()) << rate << " again: " << line.lastErrorText();
        EXPECT_EQ(line.baud(), rate);
        line.closePort();

        Elm327Line given(simulator.slavePath(), rate == 9600 ? 38400 : 9600, quick);
        EXPECT_FALSE(given.openPort()) << rate;
        EXPECT_EQ(given.lastErrorNumber(), EPROTO) << given.lastErrorText();
    }
}

// Nothing answers at any rate: said once, naming the rates; a stop asked
// for ends the search at the rate it is at.
TEST(Elm327Line, ASilentAdapterIsSearchedForOnceAndAStopEndsTheSearch) {
    int master = -1, slave = -1;
    std::string path;
    ASSERT_TRUE(sim::openPseudoTerminal(master, slave, path, 38400, nullptr));
    // What the line sent stays on the master's side, as nobody reads it.
    auto resetsSent = [&] {
        std::string sent;
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) sent.append(buffer, std::size_t(n));
        std::size_t count = 0;
        for (std::size_t at = sent.find("ATWS"); at != std::string::npos; at = sent.find("ATWS", at + 1)) ++count;
        return count;
    };
    const Elm327Timeouts quick{100, 100, 100, 100, 100};
    Elm327Line line(path, Elm327Line::kSearchBaud, quick);
    EXPECT_FALSE(line.openPort());
    EXPECT_EQ(line.lastErrorNumber(), ETIMEDOUT);
    EXPECT_NE(line.lastErrorText().find("38400, 9600, 115200, 57600 or 230400 baud"), std::string::npos)
        << line.lastErrorText();
    EXPECT_EQ(resetsSent(), std::size(Elm327Line::kSearchedBauds));

    const int stop = ::eventfd(1, EFD_CLOEXEC);  // readable: a stop was asked for
    ASSERT_GE(stop, 0);
    line.setInterruptFd(stop);
    EXPECT_FALSE(line.openPort());
    EXPECT_EQ(resetsSent(), 1u);
    for (const int fd : {stop, slave, master}) ::close(fd);
}

// A program that went away mid-request leaves its answer on the way; the
// next one to open the adapter must not take it for the reply to its reset,
// or every later reply would be paired with the command before it.
TEST(Elm327Line, AnAnswerLeftOnTheWayIsNotTakenForALaterReply) {
    sim::Elm327Options o = elmOptions();
    o.base.realTiming = true;  // the answer comes a while after the request
    sim::Elm327Simulator simulator(o);
    ASSERT_TRUE(simulator.start());
    {
        AdapterPort before;
        ASSERT_TRUE(before.open(simulator.slavePath(), 38400));
        ASSERT_TRUE(before.write("21011\r"));
    }
    std::unique_ptr<LiveRecord> record = std::make_unique<LiveRecord>();
    Com_Port com(*record, std::make_unique<Elm327Line>(simulator.slavePath()));
    std::atomic<long> withData{0};
    com.setCycleObserver([&](const RecordLock&, bool got) { withData += got; });
    com.resume();
    ASSERT_TRUE(waitFor([&] { return withData >= 3; }));
    com.terminate();
    EXPECT_EQ(com.badAnswers().total(), 0) << com.badAnswers().summary();
}

TEST(Elm327Line, TcpNamesAndAPortNobodyListensOn) {
    std::string host;
    int port = 0;
    EXPECT_TRUE(parseTcpPortName("tcp:192.168.0.10:35000", host, port));
    EXPECT_EQ(host, "192.168.0.10");
    EXPECT_EQ(port, 35000);
    EXPECT_TRUE(parseTcpPortName("tcp:[::1]:35000", host, port));
    EXPECT_EQ(host, "::1");
    for (const char* bad :
         {"tcp:", "tcp:host", "tcp::35000", "tcp:host:0", "tcp:host:65536", "tcp:host:35x", "/dev/ttyUSB0"})
        EXPECT_FALSE(parseTcpPortName(bad, host, port)) << bad;

    sim::Elm327Simulator s(elmOptions(sim::ElmFault::None, 0));
    ASSERT_TRUE(s.start());
    const int free = s.tcpPort();
    s.stop();  // nobody listens there now
    Elm327Line line("tcp:127.0.0.1:" + std::to_string(free));
    EXPECT_FALSE(line.openPort());
    EXPECT_EQ(line.lastErrorNumber(), ECONNREFUSED);
}

}  // namespace
}  // namespace m797::testing
