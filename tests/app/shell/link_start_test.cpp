#include "app/shell/link_start.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/shell/command_line.h"
#include "app/shell/link_source.h"
#include "app/shell/port_selection.h"
#include "tests/ecu/link_fixture.h"

namespace m797 {
namespace {

namespace fs = std::filesystem;

class LinkStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/m797-link-start-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }

    static CommandLine simulated(const std::string& recordPath) {
        CommandLine cl;
        cl.simulate = true;
        cl.recordPath = recordPath;
        return cl;
    }

    fs::path dir;
};

// A replay that cannot start is a failure, whatever else was asked.
TEST_F(LinkStartTest, AMissingTraceIsAFailureWithNothingElseToTell) {
    CommandLine cl;
    cl.replayPath = (dir / "none.trace").string();
    LinkSource source;
    const LinkStart start = startLink(source, cl);
    ASSERT_TRUE(start.failure);
    EXPECT_NE(start.failure->find("none.trace"), std::string::npos) << *start.failure;
    EXPECT_TRUE(start.notices.empty());
}

// The listed problems each on their own, then one line counting the rest;
// a trace with no more than the listed has no such line.
TEST_F(LinkStartTest, TraceProblemsAreListedUpToTheLimitAndTheRestCounted) {
    const fs::path trace = dir / "junk.trace";
    std::ofstream(trace) << "zz 1\nzz 2\nzz 3\nzz 4\nzz 5\nzz 6\n";
    for (std::size_t listed : {std::size_t{2}, kMaxTraceProblems}) {
        SCOPED_TRACE(listed);
        CommandLine cl;
        cl.replayPath = trace.string();
        LinkStartOptions options;
        options.listedTraceProblems = listed;
        LinkSource source;
        const LinkStart start = startLink(source, cl, options);
        ASSERT_FALSE(start.failure) << *start.failure;
        const long all = source.replayTrace()->problemCount;
        ASSERT_GT(all, 2);
        for (const Notice& n : start.notices) EXPECT_EQ(n.kind, NoticeKind::Problem) << n.text;
        if (listed == 2) {
            ASSERT_EQ(start.notices.size(), 3u);
            EXPECT_EQ(start.notices[0].text.rfind(trace.string() + " line 1: ", 0), 0u) << start.notices[0].text;
            EXPECT_EQ(start.notices[2].text, "ещё ошибок в «" + trace.string() + "»: " + std::to_string(all - 2));
        } else {
            EXPECT_EQ(start.notices.size(), static_cast<std::size_t>(all));
        }
    }
}

// A taken name is told as a problem and the recording goes beside it; a
// recording that cannot be made fails the start-up only where it is required.
TEST_F(LinkStartTest, TheRecordingsTakenNameAndFailureAreToldAlike) {
    const std::string taken = (dir / "drive.trace").string();
    std::ofstream(taken) << "kept";
    const std::string unwritable = (dir / "no-such-folder" / "drive.trace").string();
    struct Case {
        const char* what;
        std::string path;
        bool required;
        bool fails;
        std::string notice;  // the start of the one notice; empty: none
    };
    const Case cases[] = {
        {"taken name", taken, true, false,
         "«" + taken + "» уже есть; запись идёт в «" + (dir / "drive-2.trace").string() + "»"},
        {"unwritable, required", unwritable, true, true, ""},
        {"unwritable, not required", unwritable, false, false, "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LinkStartOptions options;
        options.simulator = testing::fastSim();
        options.recordingRequired = c.required;
        LinkSource source;
        const LinkStart start = startLink(source, simulated(c.path), options);
        EXPECT_EQ(bool(start.failure), c.fails);
        if (c.notice.empty()) {
            EXPECT_TRUE(start.notices.empty());
            continue;
        }
        ASSERT_EQ(start.notices.size(), 1u);
        EXPECT_EQ(start.notices[0].kind, NoticeKind::Problem);
        if (c.notice == "?") {  // the recording's own message, as the failure would be
            EXPECT_NE(start.notices[0].text.find(unwritable), std::string::npos) << start.notices[0].text;
        } else {
            EXPECT_EQ(start.notices[0].text, c.notice);
        }
        EXPECT_EQ(source.recorder() != nullptr, !c.fails && c.notice != "?");
    }
    std::ifstream kept(taken);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
}

TEST(PortNotices, AnElm327IsNamedOnALineOfItsOwn) {
    const PortInUse port{kSimulatorPortName, PortSource::CommandLine};
    for (AdapterKind kind : {AdapterKind::KLine, AdapterKind::Elm327}) {
        const Notices notices = portNotices(port, kind);
        ASSERT_EQ(notices.size(), kind == AdapterKind::Elm327 ? 2u : 1u);
        EXPECT_EQ(terminalLine(notices[0].text), "m797diag: port " + portInUseText(port) + "\n");
        if (kind == AdapterKind::Elm327) {
            EXPECT_EQ(notices[1].text, "through an ELM327 adapter");
        }
    }
}

}  // namespace
}  // namespace m797
