// "Старт" on another port, against two simulated control units: a pick on
// the "Com Port" page (or an adapter plugged in since the start) takes effect
// at the next "Старт" without restarting the program, and an output forced
// through the old port is released there before the move.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "app/record/cp1251.h"
#include "dialogs/actuator_window.h"
#include "ecu/com_port.h"
#include "ecu/posix_serial_line.h"
#include "settings/settings_dialog.h"
#include "tests/dialogs/main_window_fixture.h"
#include "tests/dialogs/window_fixture.h"
#include "tests/ecu/link_fixture.h"
#include "tests/support/spin_until.h"

namespace m797 {
namespace {

using m797::testing::spinUntil;

const sim::Bytes kFanRelease{0x83, 0x10, 0xF1, 0x30, 0x0A, 0x00, 0xBE};
constexpr int kFanEntry = 7;  // "Реле вентилятора 1"

long frameCount(const sim::KLineSimulator& simulator) { return static_cast<long>(simulator.frames().size()); }

// The window on the first simulator; `next` is what "Старт" is told to move to.
struct TwoPorts {
    sim::KLineSimulator first{testing::fastSim()};
    sim::KLineSimulator second{testing::fastSim()};
    std::string path;
    std::optional<StartOptions::Port> next;
    int switches = 0;
    std::unique_ptr<TForm1> window;

    ~TwoPorts() { dialogs_test::closeWindowAndDialogs(window); }
    bool start() {
        if (!first.start() || !second.start()) return false;
        path = first.slavePath();
        StartOptions o;
        o.ignoreScreenWidth = true;
        o.portDevice = "/dev/ttyUSB0";
        o.portShortName = "USB0";
        o.makeLine = [this] { return std::make_unique<PosixSerialLine>(path, testing::kFastTimeouts); };
        o.portAtStart = [this] { return std::exchange(next, std::nullopt); };
        o.switchToPortAtStart = [this] {
            ++switches;
            path = second.slavePath();
            return std::string();
        };
        window = std::make_unique<TForm1>(std::move(o));
        window->SpeedButton1Click();
        return spinUntil([&] { return window->record().linkUp.load() == 1; });
    }
    bool cycles(long n) { return dialogs_test::waitForCycles(*window, n); }
    std::string portText() {
        std::lock_guard guard(window->record().lock);
        return cp1251ToUtf8(window->record().portText);
    }
};

TEST(PortSwitch, StartMovesToThePortPickedMeanwhileAndOnlyThen) {
    TwoPorts p;
    ASSERT_TRUE(p.start());
    ASSERT_TRUE(p.cycles(2));
    p.window->SpeedButton2Click();
    p.window->SpeedButton1Click();  // nothing picked: the same line
    ASSERT_TRUE(p.cycles(2));
    EXPECT_EQ(p.switches, 0);
    EXPECT_EQ(frameCount(p.second), 0);

    p.window->SpeedButton2Click();
    p.next = StartOptions::Port{"/dev/ttyACM0", "ACM0", "/dev/ttyACM0\nвыбран в настройке «Com Port»"};
    p.window->SpeedButton1Click();
    EXPECT_EQ(p.switches, 1);
    EXPECT_EQ(p.portText(), "ACM0");
    ASSERT_TRUE(spinUntil([&] { return frameCount(p.second) > 0; }));
    ASSERT_TRUE(p.cycles(3));
    p.first.clearFrames();
    ASSERT_TRUE(p.cycles(3));
    EXPECT_EQ(frameCount(p.first), 0) << "the old port is closed";
    EXPECT_EQ(p.window->acquisitionThread()->badAnswers().total(), 0);

    // The settings window marks the new port and says a pick takes effect at "Старт".
    p.window->SpeedButton3Click();
    TForm3* settings = dialogs_test::openWindow<TForm3>();
    ASSERT_NE(settings, nullptr);
    emit settings->portList()->itemClicked(settings->portList()->item(settings->portList()->count() - 1));
    EXPECT_NE(settings->portNote()->text().toStdString().find("«Старт»"), std::string::npos)
        << settings->portNote()->text().toStdString();
    settings->close();
}

TEST(PortSwitch, AnOutputForcedThroughTheOldPortIsReleasedBeforeTheMove) {
    TwoPorts p;
    ASSERT_TRUE(p.start());
    p.window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    control->comboBox()->setCurrentIndex(kFanEntry);
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return p.first.ecu().forced[0x0A].forced; }));
    p.window->SpeedButton2Click();  // stopped with the fan on
    control->close();               // the release waits for the link
    EXPECT_TRUE(p.first.ecu().forced[0x0A].forced);

    p.next = StartOptions::Port{"/dev/ttyACM0", "ACM0", "/dev/ttyACM0"};
    p.window->SpeedButton1Click();
    EXPECT_EQ(p.switches, 1);
    EXPECT_FALSE(p.first.ecu().forced[0x0A].forced) << "released through the old port before the move";
    const auto frames = p.first.frames();
    EXPECT_TRUE(std::any_of(frames.begin(), frames.end(), [](const auto& f) { return f.bytes == kFanRelease; }));
    ASSERT_TRUE(spinUntil([&] { return frameCount(p.second) > 0; }));
}

}  // namespace
}  // namespace m797
