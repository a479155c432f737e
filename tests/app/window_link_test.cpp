// The acquisition thread inside the main window: "Старт" starts the link, the
// give-up comes back to the window thread and switches the buttons.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QToolButton>

#include "app/main_window.h"
#include "tests/ecu/link_fixture.h"
#include "tests/support/spin_until.h"

namespace m797 {
namespace {

using m797::testing::spinUntil;

StartOptions optionsFor(const sim::KLineSimulator& simulator) {
    StartOptions o;
    o.ignoreScreenWidth = true;
    const std::string& path = simulator.slavePath();
    o.makeLine = [path] { return std::make_unique<PosixSerialLine>(path, testing::kFastTimeouts); };
    return o;
}

TEST(WindowLink, GivingUpEnablesStartAndDisablesStop) {
    sim::KLineSimulator simulator(testing::fastSim(sim::Fault::EchoOnly));
    ASSERT_TRUE(simulator.start());
    TForm1 window(optionsFor(simulator));
    window.SpeedButton1Click();
    EXPECT_FALSE(window.speedButton(1)->isEnabled());
    ASSERT_TRUE(spinUntil([&] { return window.speedButton(1)->isEnabled(); }, 30000));
    EXPECT_FALSE(window.speedButton(2)->isEnabled());
    EXPECT_TRUE(window.acquisitionThread()->isSuspended());
    std::lock_guard guard(window.record().lock);
    EXPECT_EQ(testing::utf8(window.record().statusText), "Адаптер не подключен!");
}

TEST(WindowLink, StartPollsAndStopPauses) {
    sim::KLineSimulator simulator(testing::fastSim());
    ASSERT_TRUE(simulator.start());
    TForm1 window(optionsFor(simulator));
    window.SpeedButton1Click();
    ASSERT_TRUE(spinUntil([&] { return window.record().linkUp.load() == 1; }, 10000));
    window.SpeedButton2Click();
    EXPECT_TRUE(window.acquisitionThread()->isSuspended());
    EXPECT_TRUE(window.acquisitionThread()->connectionActive());
    std::lock_guard guard(window.record().lock);
    EXPECT_EQ(window.record().identText[9], "LADA-21");
}

}  // namespace
}  // namespace m797
