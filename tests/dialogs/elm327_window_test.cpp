// The window's functions through the simulated ELM327: live data and the
// passport, the trouble-code list read and cleared, an actuator switched on
// and released, the reset, all from the main window down.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "app/main_window.h"
#include "dialogs/actuator_window.h"
#include "dialogs/confirmation_dialog.h"
#include "dialogs/error_list.h"
#include "ecu/com_port.h"
#include "ecu/elm327_line.h"
#include "sim/elm327_simulator.h"
#include "tests/dialogs/main_window_fixture.h"
#include "tests/dialogs/window_fixture.h"
#include "tests/support/spin_until.h"

namespace m797 {
namespace {

using m797::testing::spinUntil;

struct ElmWindow : ::testing::Test {
    sim::Elm327Simulator simulator{[] {
        sim::Elm327Options o;
        o.base.realTiming = false;
        return o;
    }()};
    std::unique_ptr<TForm1> window;

    void SetUp() override {
        ASSERT_TRUE(simulator.start());
        simulator.setEngineRunning(false);
        StartOptions o;
        o.ignoreScreenWidth = true;
        const std::string path = simulator.slavePath();
        o.makeLine = [path] { return std::make_unique<Elm327Line>(path); };
        window = std::make_unique<TForm1>(std::move(o));
        window->SpeedButton1Click();
        ASSERT_TRUE(spinUntil([&] { return window->acquisitionThread()->cyclesWithData() >= 2; }));
    }
    void TearDown() override {
        dialogs_test::closeWindowAndDialogs(window);
        simulator.stop();
    }
    bool cycles(long n) { return dialogs_test::waitForCycles(*window, n); }
};

TEST_F(ElmWindow, LiveDataPassportAndTroubleCodes) {
    {
        std::lock_guard guard(window->record().lock);
        EXPECT_EQ(window->record().identText[0], "XTA21703090012345");
    }
    EXPECT_EQ(window->acquisitionThread()->badAnswers().total(), 0);
    window->speedButton(17)->click();
    TForm4* list = dialogs_test::openWindow<TForm4>();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(spinUntil([&] { return list->grid()->rowCount() == 2; }));
    QTest::mouseClick(list->speedButton(1), Qt::LeftButton);  // "Сброс"
    ASSERT_TRUE(spinUntil([&] { return list->countLabel()->text() == "0"; }));
    EXPECT_TRUE(simulator.ecu().troubleCodes.empty());
    list->close();
}

TEST_F(ElmWindow, ActuatorOnAndReleasedThenTheReset) {
    window->speedButton(16)->click();
    TForm5* control = dialogs_test::openWindow<TForm5>();
    ASSERT_NE(control, nullptr);
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);  // "Форсунка 1" on
    ASSERT_TRUE(spinUntil([&] { return simulator.ecu().forced[0x01].forced; }));
    control->comboBox()->setCurrentIndex(7);  // another entry: the injector is released
    ASSERT_TRUE(spinUntil([&] { return !simulator.ecu().forced[0x01].forced; }));

    control->comboBox()->setCurrentIndex(15);  // "Сброс ЭБУ"
    ConfirmationDialog* dialog = dialogs_test::openWindow<ConfirmationDialog>();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->speedButton(1), Qt::LeftButton);  // "Да"
    ASSERT_TRUE(spinUntil([&] { return simulator.ecu().resets == 1; }));
    // The control unit is silent for a second; the link comes back by itself.
    const long before = window->acquisitionThread()->cyclesWithData();
    EXPECT_TRUE(spinUntil([&] { return window->acquisitionThread()->cyclesWithData() > before + 1; }, 15000));
    control->close();
}

}  // namespace
}  // namespace m797
