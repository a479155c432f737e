// The diagnostic windows inside the running program against the simulated
// control unit: the bytes that reach the line for each window action.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <algorithm>

#include "app/main_window.h"
#include "dialogs/actuator_window.h"
#include "dialogs/ecu_init_dialog.h"
#include "dialogs/ecu_reset_dialog.h"
#include "dialogs/error_list.h"
#include "tests/dialogs/main_window_fixture.h"
#include "tests/dialogs/window_fixture.h"
#include "tests/ecu/link_fixture.h"
#include "tests/support/spin_until.h"

namespace m797 {
namespace {

using m797::testing::spinUntil;

using sim::Bytes;

struct Wire : ::testing::Test {
    sim::KLineSimulator simulator{testing::fastSim()};
    std::unique_ptr<TForm1> window;

    void SetUp() override {
        ASSERT_TRUE(simulator.start());
        StartOptions o;
        o.ignoreScreenWidth = true;
        const std::string path = simulator.slavePath();
        o.makeLine = [path] { return std::make_unique<PosixSerialLine>(path, testing::kFastTimeouts); };
        window = std::make_unique<TForm1>(std::move(o));
        window->SpeedButton1Click();
        ASSERT_TRUE(spinUntil([&] { return window->record().linkUp.load() == 1; }));
    }
    void TearDown() override {
        dialogs_test::closeWindowAndDialogs(window);
        simulator.stop();
    }

    // Lets `n` more poll cycles pass.
    bool cycles(long n) { return dialogs_test::waitForCycles(*window, n); }
    long sent(const Bytes& frame) const {
        const auto frames = simulator.frames();
        return std::count_if(frames.begin(), frames.end(), [&](const auto& f) { return f.bytes == frame; });
    }
    bool sentWithService30(std::uint8_t localId, std::size_t length) const {
        for (const auto& f : simulator.frames())
            if (f.bytes.size() == length && f.bytes[3] == 0x30 && f.bytes[4] == localId) return true;
        return false;
    }
    bool forced(std::uint8_t localId) const { return simulator.ecu().forced[localId].forced; }
};

const Bytes kReadDtc{0x84, 0x10, 0xF1, 0x18, 0x00, 0x00, 0x00, 0x9D};
const Bytes kClearDtc{0x83, 0x10, 0xF1, 0x14, 0x00, 0x00, 0x98};

TEST_F(Wire, ErrorListReadsEveryCycleClearsOnceAndStopsOnClose) {
    simulator.clearFrames();
    window->speedButton(17)->click();
    TForm4* list = dialogs_test::openWindow<TForm4>();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(cycles(4));
    ASSERT_TRUE(spinUntil([&] { return list->grid()->rowCount() == 2; }));
    EXPECT_EQ(list->grid()->item(1, 0)->text(), "P  0300");

    // Once per cycle, right after the two live-data requests.
    const std::vector<std::string> names = testing::frameNames(simulator);
    int reads = 0;
    const std::size_t firstCycle = std::find(names.begin(), names.end(), "2101") - names.begin();
    for (std::size_t i = firstCycle; i < names.size(); ++i) {
        if (names[i] != "18") continue;
        ++reads;
        ASSERT_GE(i, 2u);
        EXPECT_EQ(names[i - 2], "2101");
        EXPECT_EQ(names[i - 1], "2103");
        if (i + 1 < names.size()) {
            EXPECT_EQ(names[i + 1], "2101");
        }
    }
    EXPECT_GE(reads, 3);
    EXPECT_GE(sent(kReadDtc), reads);

    // Closed: no more reads; reopened: the last list at once.
    list->close();
    ASSERT_TRUE(cycles(1));
    simulator.clearFrames();
    ASSERT_TRUE(cycles(3));
    EXPECT_EQ(sent(kReadDtc), 0);
    window->speedButton(17)->click();
    list = dialogs_test::openWindow<TForm4>();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->grid()->rowCount(), 2);

    QTest::mouseClick(list->speedButton(1), Qt::LeftButton);
    ASSERT_TRUE(cycles(4));
    EXPECT_EQ(sent(kClearDtc), 1);
    EXPECT_TRUE(simulator.ecu().troubleCodes.empty());
    ASSERT_TRUE(spinUntil([&] { return list->countLabel()->text() == "0"; }));
    EXPECT_EQ(list->grid()->rowCount(), 0);
    list->close();
}

TEST_F(Wire, IgnitionRefusedWhileTheEngineRuns) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    control->comboBox()->setCurrentIndex(4);  // "Зажигание 1-4"
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return control->statePanel()->text() == "Заглушите двигатель"; }));
    EXPECT_EQ(sent({0x84, 0x10, 0xF1, 0x30, 0x05, 0x06, 0xFF, 0xBF}), 1);
    ASSERT_TRUE(cycles(3));
    EXPECT_EQ(control->statePanel()->text(), "Заглушите двигатель");
    EXPECT_FALSE(forced(0x05));

    simulator.setEngineRunning(false);
    ASSERT_TRUE(spinUntil([&] { return control->statePanel()->text() == "ВЫКЛ"; }));
    control->close();
}

// The state panel says only what the control unit reported on this
// connection: empty once the link is lost, the state again once it is read.
TEST_F(Wire, TheStatePanelForgetsTheStateWhenTheLinkIsLost) {
    simulator.setEngineRunning(false);
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(spinUntil([&] { return control->statePanel()->text() == "ВЫКЛ"; }));
    simulator.setEcuUnplugged(true);
    ASSERT_TRUE(spinUntil([&] { return !window->acquisitionThread()->connectionActive(); }));
    ASSERT_TRUE(spinUntil([&] { return control->statePanel()->text().isEmpty(); }));
    simulator.setEcuUnplugged(false);
    ASSERT_TRUE(spinUntil([&] { return control->statePanel()->text() == "ВЫКЛ"; }));
    control->close();
}

TEST_F(Wire, ChangingTheEntryReleasesTheOldOne) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);  // "Форсунка 1" on
    ASSERT_TRUE(spinUntil([&] { return forced(0x01); }));
    simulator.clearFrames();
    control->comboBox()->setCurrentIndex(5);  // "Зажигание 2-3"
    ASSERT_TRUE(cycles(3));
    EXPECT_EQ(sent({0x83, 0x10, 0xF1, 0x30, 0x01, 0x00, 0xB5}), 1);
    EXPECT_GE(sent({0x83, 0x10, 0xF1, 0x30, 0x06, 0x01, 0xBB}), 1);
    EXPECT_FALSE(forced(0x01));

    simulator.clearFrames();
    QTest::mouseClick(control->speedButton(2), Qt::LeftButton);  // "Выкл" does nothing here
    ASSERT_TRUE(cycles(3));
    EXPECT_FALSE(sentWithService30(0x06, 8));
    control->close();
}

TEST_F(Wire, SetValuesGoOutWithinTheirLimits) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    control->comboBox()->setCurrentIndex(12);  // "Регулятор ХХ"
    {
        std::lock_guard<std::mutex> guard(window->record().lock);
        window->record().actuator[12].setValue = 255;
    }
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);  // "+1 шаг"
    ASSERT_TRUE(cycles(3));
    EXPECT_EQ(sent({0x84, 0x10, 0xF1, 0x30, 0x41, 0x07, 0xFF, 0xFC}), 1);
    EXPECT_EQ(simulator.ecu().forced[0x41].value, 255);

    // Idle speed starts from the live NSOL byte (the simulated engine's 85).
    control->comboBox()->setCurrentIndex(13);
    QTest::qWait(150);
    const std::uint8_t nsol = window->record().analog[slotOf(58).index].raw[0];
    EXPECT_EQ(control->statePanel()->text(), QString::number(nsol * 10) + "   Об.");
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);  // "+10 об"
    ASSERT_TRUE(cycles(3));
    const std::uint8_t v = static_cast<std::uint8_t>(nsol + 1);
    EXPECT_EQ(sent({0x84, 0x10, 0xF1, 0x30, 0x42, 0x07, v, static_cast<std::uint8_t>(v - 2)}), 1);
    control->Timer1Timer();  // the window's timer reads the confirmed value
    EXPECT_EQ(control->statePanel()->text(), QString::number(v * 10) + "   Об.");
    EXPECT_FALSE(forced(0x41));  // released when the selection moved on
    control->close();
}

TEST_F(Wire, ClosingTheWindowReleasesTheFuelPump) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    control->comboBox()->setCurrentIndex(6);  // "Реле бензонасоса"
    simulator.setEngineRunning(false);
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return forced(0x09); }));
    simulator.clearFrames();
    control->close();
    ASSERT_TRUE(cycles(3));
    EXPECT_EQ(sent({0x83, 0x10, 0xF1, 0x30, 0x09, 0x00, 0xBD}), 1);
    EXPECT_FALSE(forced(0x09));
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(Wire, EndingTheProgramReleasesTheEntryUnderTest) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    control->comboBox()->setCurrentIndex(7);  // "Реле вентилятора 1"
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return forced(0x0A); }));
    simulator.clearFrames();
    window->close();  // the system close; the actuator window is still open
    EXPECT_EQ(sent({0x83, 0x10, 0xF1, 0x30, 0x0A, 0x00, 0xBE}), 1);
    EXPECT_FALSE(forced(0x0A));
    EXPECT_FALSE(window->acquisitionThread()->portOpen());
}

const Bytes kReset{0x82, 0x10, 0xF1, 0x11, 0x01, 0x95};
const Bytes kInit{0x82, 0x10, 0xF1, 0x11, 0x90, 0x24};

// Chooses `entry` in the actuator window and answers its confirmation.
void confirm(TForm5* control, int entry, int button) {
    control->comboBox()->setCurrentIndex(entry);
    ConfirmationDialog* dialog = dialogs_test::openWindow<ConfirmationDialog>();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->speedButton(button), Qt::LeftButton);
    EXPECT_TRUE(control->isVisible());
    EXPECT_EQ(control->comboBox()->currentIndex(), 0);
}

// The control unit goes quiet after a reset, so each case ends with one "Да".
TEST_F(Wire, NoSendsNothingAndYesSendsTheResetOnce) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    simulator.clearFrames();
    confirm(control, 15, 2);
    confirm(control, 16, 2);
    ASSERT_TRUE(cycles(3));
    EXPECT_EQ(sent(kReset) + sent(kInit), 0);
    confirm(control, 15, 1);
    ASSERT_TRUE(spinUntil([&] { return sent(kReset) == 1; }));
    QTest::qWait(300);
    EXPECT_EQ(sent(kReset), 1);
    EXPECT_EQ(sent(kInit), 0);
    EXPECT_EQ(simulator.ecu().resets, 1);
    control->close();
}

TEST_F(Wire, YesSendsTheInitialisationOnce) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    simulator.clearFrames();
    confirm(control, 16, 1);
    ASSERT_TRUE(spinUntil([&] { return sent(kInit) == 1; }));
    QTest::qWait(300);
    EXPECT_EQ(sent(kInit), 1);
    EXPECT_EQ(sent(kReset), 0);
    control->close();
}

}  // namespace
}  // namespace m797
