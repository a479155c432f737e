// The windows as drawn: grabbed frames of the error list's rows, the main
// window's two bevelled panels and the display-error notice on screen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/screen_width.h"
#include "dialogs/display_error_notice.h"
#include "dialogs/error_list.h"
#include "ecu/serial_line.h"
#include "tests/support/silent_line.h"

namespace {

using m797::testing::SilentLine;

void storeCodes(m797::LiveRecord& record, int count) {
    std::lock_guard<std::mutex> guard(record.lock);
    std::memset(record.dtcResponse, 0, sizeof record.dtcResponse);
    record.dtcResponse[12] = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        record.dtcResponse[13 + 3 * i] = 0x01;
        record.dtcResponse[14 + 3 * i] = 0x02;
        record.dtcResponse[15 + 3 * i] = 0x20;
    }
}

// Rows of the grabbed grid where one colour other than the cells' ground runs
// across the whole code column: the grid's lines.
std::vector<int> gridLineRows(QTableWidget* grid) {
    const QImage frame = grid->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb ground = grid->palette().base().color().rgb();
    std::vector<int> rows;
    for (int y = 0; y < frame.height(); ++y) {
        const QRgb first = frame.pixel(0, y);
        bool across = first != ground;
        for (int x = 1; x < grid->columnWidth(0) - 1 && across; ++x) across = frame.pixel(x, y) == first;
        if (across) rows.push_back(y);
    }
    return rows;
}

TEST(Frames, ErrorListRowsAreFifteenPixels) {
    m797::LiveRecord record;
    storeCodes(record, 20);
    QWidget main;
    auto* window = new TForm4(record, &main);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QTableWidget* grid = window->grid();
    ASSERT_EQ(grid->rowCount(), 20);
    for (int r = 0; r < grid->rowCount(); ++r) EXPECT_EQ(grid->rowHeight(r), 15) << r;
    // On the grabbed frame the grid lines stand 15 pixels apart.
    const std::vector<int> lines = gridLineRows(grid);
    ASSERT_GE(lines.size(), 10u);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i] - lines[i - 1], 15) << lines[i];
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int brightness(QRgb c) { return qGray(c); }

// A lowered outer bevel and a raised inner one: along every edge, from the
// outside in, the outer line is darker than the ground on the upper and left
// edges and lighter on the lower and right ones; the inner line the other way.
void expectDoubleBevel(QWidget* panel, const QColor& ground, bool groundInside = true) {
    const QImage frame = panel->grab().toImage();
    const int w = frame.width(), h = frame.height();
    const int g = brightness(ground.rgb());
    struct Edge {
        const char* name;
        QPoint outer, inner;
        bool outerDark;
    };
    const Edge edges[] = {{"left", {0, h / 2}, {1, h / 2}, true},
                          {"top", {w / 2, 0}, {w / 2, 1}, true},
                          {"right", {w - 1, h / 2}, {w - 2, h / 2}, false},
                          {"bottom", {w / 2, h - 1}, {w / 2, h - 2}, false}};
    for (const Edge& e : edges) {
        const int outer = brightness(frame.pixel(e.outer)), inner = brightness(frame.pixel(e.inner));
        if (e.outerDark) {
            EXPECT_LT(outer, g) << panel->objectName().toStdString() << " " << e.name << " outer";
            EXPECT_GT(inner, g) << panel->objectName().toStdString() << " " << e.name << " inner";
        } else {
            EXPECT_GT(outer, g) << panel->objectName().toStdString() << " " << e.name << " outer";
            EXPECT_LT(inner, g) << panel->objectName().toStdString() << " " << e.name << " inner";
        }
    }
    // Inside the bevels, the panel's own colour.
    if (groundInside) {
        EXPECT_EQ(QColor(frame.pixel(3, h - 4)), ground) << panel->objectName().toStdString();
    }
}

// The main window on a screen that suits it, shown, with a port that never answers.
std::unique_ptr<TForm1> shownMainWindow() {
    m797::setScreenWidthForTesting(1024);
    StartOptions options;
    options.makeLine = [] { return std::make_unique<SilentLine>(); };
    auto main = std::make_unique<TForm1>(std::move(options));
    m797::setScreenWidthForTesting(0);
    main->show();
    return main;
}

TEST(Frames, MainWindowPanelsHaveALoweredOuterAndARaisedInnerBevel) {
    const std::unique_ptr<TForm1> window = shownMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TForm1& main = *window;
    for (const char* name : {"Panel1", "Panel2"}) {
        auto* panel = main.findChild<QFrame*>(QString::fromLatin1(name));
        ASSERT_NE(panel, nullptr) << name;
        EXPECT_EQ(panel->contentsRect(), panel->rect().adjusted(2, 2, -2, -2)) << name;
        expectDoubleBevel(panel, QColor(226, 229, 234));
    }
}

// While a dialog is up the main window takes no input but looks exactly as
// before: a disabled window would be drawn greyed.
TEST(Frames, MainWindowKeepsItsLookButTakesNoInputWhileADialogIsOpen) {
    const std::unique_ptr<TForm1> window = shownMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TForm1& main = *window;
    // The seven panels are native GL windows, which a widget grab does not
    // read: what is compared is everything around them.
    const auto widgetsOnly = [&main] {
        QImage image = main.grab().toImage();
        QPainter painter(&image);
        for (int n = 1; n <= 7; ++n) painter.fillRect(main.panel(n)->geometry(), Qt::black);
        return image;
    };
    const QImage before = widgetsOnly();
    main.SpeedButton17Click();
    QPointer<TForm4> dialog;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* list = qobject_cast<TForm4*>(w)) dialog = list;
    ASSERT_TRUE(dialog);
    QCoreApplication::processEvents();
    EXPECT_EQ(widgetsOnly(), before) << "the main window's look changed under the dialog";
    QTest::mouseClick(main.speedButton(1), Qt::LeftButton);
    EXPECT_FALSE(main.speedButton(2)->isEnabled()) << "\"Старт\" took a click while the dialog was up";
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(dialog);
    QTest::mouseClick(main.speedButton(1), Qt::LeftButton);
    EXPECT_TRUE(main.speedButton(2)->isEnabled()) << "the input came back with the dialog's close";
    main.SpeedButton2Click();
}

// The notice is on screen with its picture as soon as it is made: the program
// goes on building the hidden main window before the event loop runs.
TEST(Frames, DisplayErrorNoticeIsPaintedWhenItAppears) {
    TForm8 notice;
    notice.timer()->stop();
    // No event processed since construction: what the screen shows now.
    const QRect place(notice.mapToGlobal(QPoint(0, 0)), notice.size());
    const QImage onScreen = QGuiApplication::primaryScreen()
                                ->grabWindow(0, place.x(), place.y(), place.width(), place.height())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
    const QImage drawn = notice.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(onScreen.size(), drawn.size());
    int same = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) same += onScreen.pixel(x, y) == drawn.pixel(x, y);
    EXPECT_GE(same, drawn.width() * drawn.height() * 95 / 100);
    auto* panel = notice.findChild<QFrame*>(QStringLiteral("Panel1"));
    ASSERT_NE(panel, nullptr);
    expectDoubleBevel(panel, notice.palette().window().color(), false);
}

}  // namespace
