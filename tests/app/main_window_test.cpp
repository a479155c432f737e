#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <memory>
#include <thread>

#include "app/main_window.h"
#include "app/screen_width.h"
#include "app/shell/screen_notice.h"
#include "dialogs/display_error_notice.h"
#include "ecu/com_port.h"
#include "ecu/serial_line.h"
#include "tests/support/silent_line.h"

namespace {

using m797::testing::SilentLine;

std::unique_ptr<TForm1> makeWindow(int screenWidth, bool ignoreWidth = false) {
    m797::setScreenWidthForTesting(screenWidth);
    StartOptions options;
    options.ignoreScreenWidth = ignoreWidth;
    options.makeLine = [] { return std::make_unique<SilentLine>(100); };
    auto w = std::make_unique<TForm1>(std::move(options));
    w->FormCreate();
    if (w->visibleAtStart()) w->show();
    m797::setScreenWidthForTesting(0);
    return w;
}

TEST(MainWindow, StartStopStartSwitchesTheButtonsAndTheClock) {
    auto w = makeWindow(1024);
    QToolButton* start = w->speedButton(1);
    QToolButton* stop = w->speedButton(2);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(w->acquisitionThread()->isSuspended());

    start->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(w->displayClock()->isActive());
    EXPECT_EQ(w->displayClock()->interval(), 30);
    EXPECT_FALSE(w->acquisitionThread()->isSuspended());

    stop->click();
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(w->displayClock()->isActive());
    EXPECT_TRUE(w->acquisitionThread()->isSuspended());

    start->click();
    EXPECT_TRUE(w->displayClock()->isActive());
    EXPECT_FALSE(w->acquisitionThread()->isSuspended());
    stop->click();
}

TEST(MainWindow, AboutButtonNeverReacts) {
    auto w = makeWindow(1024);
    QToolButton* about = w->speedButton(19);
    EXPECT_FALSE(about->isEnabled());
    EXPECT_EQ(about->text(), QStringLiteral("О программе"));
    QTest::mouseClick(about, Qt::LeftButton);
    EXPECT_FALSE(about->isEnabled());
    EXPECT_FALSE(w->displayClock()->isActive());
}

TEST(MainWindow, GiveUpReEnablesStartAndTheClockDiesAtTheNextTick) {
    auto w = makeWindow(1024);
    w->speedButton(1)->click();
    w->acquisitionGaveUp();
    EXPECT_TRUE(w->speedButton(1)->isEnabled());
    EXPECT_FALSE(w->speedButton(2)->isEnabled());
    w->displayTick();
    EXPECT_FALSE(w->displayClock()->isActive());
}

TEST(MainWindow, GiveUpWhileADialogDisablesTheWindowStillStopsTheClock) {
    auto w = makeWindow(1024);
    w->speedButton(1)->click();
    w->setEnabled(false);  // as while the error list is open
    w->acquisitionGaveUp();
    w->displayTick();
    EXPECT_FALSE(w->displayClock()->isActive());
    w->setEnabled(true);
}

TEST(MainWindow, ControlsSitAtTheirPlaces) {
    auto w = makeWindow(1024);
    EXPECT_EQ(w->geometry(), QRect(0, 0, 1024, 740));
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    const struct {
        int panel;
        QRect place;
    } panels[] = {{1, {23, 15, 750, 115}},
                  {3, {23, 277, 750, 115}},
                  {5, {23, 539, 750, 115}},
                  {6, {23, 674, 750, 49}},
                  {7, {807, 324, 193, 401}}};
    for (const auto& p : panels) EXPECT_EQ(w->panel(p.panel)->geometry(), p.place) << p.panel;
    const struct {
        int button;
        QRect place;
        const char* caption;
    } buttons[] = {{4, {8, 24, 23, 17}, "1"},          {9, {168, 24, 23, 17}, "6"},
                   {10, {8, 48, 23, 17}, "7"},         {15, {168, 48, 25, 18}, "12"},
                   {16, {8, 8, 89, 22}, "Управление"}, {3, {104, 8, 89, 22}, "Настройка"},
                   {17, {8, 40, 89, 22}, "Ошибки"},    {1, {8, 72, 89, 22}, "Старт"},
                   {2, {104, 72, 89, 22}, "Стоп"},     {18, {56, 104, 89, 22}, "Выход"}};
    for (const auto& b : buttons) {
        EXPECT_EQ(w->speedButton(b.button)->geometry(), b.place) << b.button;
        EXPECT_EQ(w->speedButton(b.button)->text(), QString::fromUtf8(b.caption)) << b.button;
    }
    EXPECT_TRUE(w->speedButton(4)->isChecked());
    EXPECT_EQ(w->speedButton(4)->parentWidget()->geometry(), QRect(808, 16, 201, 73));
    EXPECT_EQ(w->speedButton(1)->parentWidget()->geometry(), QRect(808, 96, 201, 137));
}

TEST(MainWindow, GrabShowsTheBackgroundAndTheBevelledPanels) {
    auto w = makeWindow(1024);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const QImage shot = w->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(1024, 740));
    const QColor panelFace = shot.pixelColor(808 + 195, 16 + 66);
    EXPECT_EQ(panelFace, QColor(226, 229, 234));
    const QColor ground = shot.pixelColor(1015, 150);  // no panel or bay there
    EXPECT_GT(ground.blue(), ground.red());
    EXPECT_GT(ground.lightness(), 150);
}

struct ScreenCase {
    int width;
    bool ignore;
    bool notice;
};

// CTest names the cases by this text.
void PrintTo(const ScreenCase& c, std::ostream* os) { *os << c.width << (c.ignore ? "Ignored" : ""); }

class ScreenCheck : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenCheck, NoticeOnlyWhenTheScreenIsNot1024Wide) {
    const ScreenCase c = GetParam();
    QElapsedTimer clock;  // the notice counts its 4 seconds from its creation
    clock.start();
    auto w = makeWindow(c.width, c.ignore);
    EXPECT_EQ(w->displayErrorNotice() != nullptr, c.notice);
    EXPECT_EQ(w->isVisible(), !c.notice);
    if (!c.notice) return;
    TForm8* notice = w->displayErrorNotice();
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("Ошибка вывода на экран."));
    bool shownMeanwhile = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { shownMeanwhile |= w->isVisible(); });
    watch.start(100);
    // The notice ends the event loop, and the program with a status that says it failed.
    EXPECT_EQ(QApplication::exec(), m797::kExitScreenNotSuited);
    EXPECT_GT(clock.elapsed(), 3900);
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_FALSE(shownMeanwhile);
}

INSTANTIATE_TEST_SUITE_P(Widths, ScreenCheck,
                         ::testing::Values(ScreenCase{1280, false, true}, ScreenCase{800, false, true},
                                           ScreenCase{1024, false, false}, ScreenCase{1280, true, false}),
                         [](const ::testing::TestParamInfo<ScreenCase>& testCase) {
                             return std::to_string(testCase.param.width) +
                                    (testCase.param.ignore ? "Ignored" : "");
                         });

TEST(MainWindow, ExitStopsTheAcquisitionThread) {
    auto w = makeWindow(1024);
    w->speedButton(1)->click();
    w->speedButton(18)->click();  // "Выход"
    EXPECT_FALSE(w->displayClock()->isActive());
    EXPECT_TRUE(w->acquisitionThread()->isSuspended());
    QApplication::processEvents();
}

}  // namespace
