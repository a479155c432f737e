// TForm4 through its handlers and the record's flags.

#include <gtest/gtest.h>
#include <memory>

#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstring>
#include <vector>

#include "dialogs/error_list.h"
#include "dialogs/input_block.h"
#include "dialogs/status_icon_delegate.h"
#include "dialogs/trouble_code_list.h"
#include "tests/dialogs/window_fixture.h"

namespace {

using dialogs_test::storeAnswer;

QString text(QTableWidget* grid, int row, int column) {
    QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

int icon(QTableWidget* grid, int row, int column) {
    QTableWidgetItem* item = grid->item(row, column);
    return item ? item->data(kStatusIconRole).toInt() : m797::kNoIcon;
}

struct ErrorList : ::testing::Test {
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    QWidget main;
    TForm4* window = nullptr;
    void open() { window = new TForm4(record, &main); }
    void TearDown() override {
        if (window) window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(ErrorList, RefreshShowsTheRowsOfTheLatestAnswer) {
    storeAnswer(record, {0x01, 0x02, 0xE8, 0x03, 0x00, 0x20});
    open();  // shown at once, before the first tick
    QTableWidget* grid = window->grid();
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(window->countLabel()->text(), "2");
    EXPECT_EQ(text(grid, 0, 0), "P  0102");
    EXPECT_EQ(text(grid, 0, 5), "Датчик массового расхода воздуха, низкий уровень выходного сигнала");
    EXPECT_EQ(icon(grid, 0, 4), 8);
    EXPECT_EQ(icon(grid, 1, 1), m797::kNoIcon);

    // The next answer holds an unknown code in row 1 and no second code.
    storeAnswer(record, {0x77, 0x77, 0x0F});
    window->Timer1Timer();
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(text(grid, 0, 0), "P  7777");
    EXPECT_EQ(text(grid, 0, 5), "");
    const int status0F[4] = {m797::kNoIcon, m797::kNoIcon, 5, 8};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(icon(grid, 0, c + 1), status0F[c]);

    storeAnswer(record, {});
    window->Timer1Timer();
    EXPECT_EQ(grid->rowCount(), 0);
    EXPECT_EQ(window->countLabel()->text(), "0");
}

// The window shows rows only of a checked answer; otherwise why there are none.
TEST_F(ErrorList, AReadWithoutACheckedListShowsWhyAndNoRows) {
    storeAnswer(record, {0x01, 0x02, 0xE8, 0x03, 0x00, 0x20});
    open();
    const struct Step {
        m797::TroubleCodeAnswer answer;
        std::uint8_t code;
        const char* caption;
        int rows;
    } steps[] = {
        {m797::TroubleCodeAnswer::Read, 0, "Количество ошибок", 2},
        {m797::TroubleCodeAnswer::Refused, 0x22, "Отказ ЭБУ, код 0x22", 0},
        {m797::TroubleCodeAnswer::NoAnswer, 0, "Нет ответа.", 0},
        {m797::TroubleCodeAnswer::Damaged, 0, "Ответ искажён.", 0},
        {m797::TroubleCodeAnswer::Read, 0, "Количество ошибок", 2},
    };
    for (const Step& step : steps) {
        {
            std::lock_guard<std::mutex> guard(record.lock);
            record.dtcAnswer = step.answer;
            record.dtcRefusalCode = step.code;
        }
        window->Timer1Timer();
        EXPECT_EQ(window->grid()->rowCount(), step.rows) << step.caption;
        EXPECT_EQ(window->countCaption()->text(), QString::fromUtf8(step.caption));
        EXPECT_EQ(window->countLabel()->isVisible(), step.rows > 0) << step.caption;
        const QFontMetrics metrics(window->countCaption()->font());
        EXPECT_LE(window->countCaption()->x() + metrics.horizontalAdvance(window->countCaption()->text()),
                  window->countCaption()->parentWidget()->width())
            << step.caption;
    }
}

// More than 20 codes need a length byte after the addresses: the count and
// the records are one byte later.
TEST_F(ErrorList, AnAnswerWithALengthByteShowsEveryCode) {
    {
        std::lock_guard<std::mutex> guard(record.lock);
        std::memset(record.dtcResponse, 0, sizeof record.dtcResponse);
        const std::uint8_t head[] = {0x84, 0x10, 0xF1, 0x18, 0x00,       0x00, 0x00,
                                     0x9D, 0x80, 0xF1, 0x10, 2 + 3 * 21, 0x58, 21};
        std::memcpy(record.dtcResponse, head, sizeof head);
        for (int i = 0; i < 21; ++i) {
            record.dtcResponse[14 + 3 * i] = 0x03;
            record.dtcResponse[15 + 3 * i] = static_cast<std::uint8_t>(i);
            record.dtcResponse[16 + 3 * i] = 0x20;
        }
        record.dtcAnswer = m797::TroubleCodeAnswer::Read;
    }
    open();
    ASSERT_EQ(window->grid()->rowCount(), 21);
    EXPECT_EQ(text(window->grid(), 0, 0), "P  0300");
    EXPECT_EQ(text(window->grid(), 20, 0), "P  0314");
    EXPECT_EQ(window->countLabel()->text(), "21");
}

// The icons are part of their cells: any repaint of the grid draws them again.
TEST_F(ErrorList, IconsSurviveARepaint) {
    storeAnswer(record, {0x01, 0x02, 0xE8});
    open();
    QTableWidget* grid = window->grid();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    for (int pass = 0; pass < 2; ++pass) {
        grid->viewport()->repaint();
        const QImage shot = grid->viewport()->grab().toImage();
        const QColor lamp = shot.pixelColor(grid->visualItemRect(grid->item(0, 1)).center());
        const QColor test = shot.pixelColor(grid->visualItemRect(grid->item(0, 3)).center());
        EXPECT_GT(lamp.red(), 150);
        EXPECT_LT(lamp.blue(), 100);
        EXPECT_GT(test.blue(), 150);
        EXPECT_LT(test.red(), 100);
    }
}

// "Сброс" only asks: the codes stay on show until the control unit has
// confirmed the clear, and closing the list withdraws a clear not yet sent.
TEST_F(ErrorList, ResetAsksAndKeepsTheCodesUntilConfirmed) {
    storeAnswer(record, {0x01, 0x02, 0xE8, 0x03, 0x00, 0x20});
    open();
    QTest::mouseClick(window->speedButton(1), Qt::LeftButton);
    EXPECT_EQ(record.clearDtcRequest, 1);
    EXPECT_EQ(record.dtcResponse[12], 2);
    window->Timer1Timer();
    EXPECT_EQ(window->grid()->rowCount(), 2);
    EXPECT_EQ(window->countLabel()->text(), "2");
    QTest::mouseClick(window->speedButton(2), Qt::LeftButton);
    window = nullptr;
    EXPECT_EQ(record.clearDtcRequest, 0);
}

TEST_F(ErrorList, ClosingStopsTheReadsAndKeepsTheLastAnswer) {
    m797::dialogs::setInputBlocked(&main, true);
    record.readDtcRequest = 1;
    storeAnswer(record, {0x16, 0x89, 0x80});
    open();
    QTest::mouseClick(window->speedButton(2), Qt::LeftButton);
    window = nullptr;
    EXPECT_EQ(record.readDtcRequest, 0);
    EXPECT_FALSE(m797::dialogs::inputBlocked(&main));
    EXPECT_EQ(record.dtcResponse[12], 1);
    open();
    EXPECT_EQ(text(window->grid(), 0, 5), "Сбой функционирования памяти ошибок");
}

// A description cut to its column with "…" can still be read whole: the
// row's tooltip shows the whole text, for every code the table knows.
TEST_F(ErrorList, EveryDescriptionCanBeReadWhole) {
    std::vector<std::uint8_t> records;
    for (int hi = 0; hi < 0x20; ++hi)
        for (int lo = 0; lo < 0x100; ++lo)
            if (m797::troubleCodeText(static_cast<std::uint8_t>(hi), static_cast<std::uint8_t>(lo)))
                records.insert(records.end(),
                               {static_cast<std::uint8_t>(hi), static_cast<std::uint8_t>(lo), 0x20});
    {
        std::lock_guard<std::mutex> guard(record.lock);
        record.dtcResponse[12] = static_cast<std::uint8_t>(records.size() / 3);
        std::memcpy(record.dtcResponse + 13, records.data(), records.size());
    }
    open();
    QTableWidget* grid = window->grid();
    ASSERT_EQ(grid->rowCount(), 85);
    const QFontMetrics metrics(grid->font());
    const int room = grid->columnWidth(5) - 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    int cut = 0;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QTableWidgetItem* item = grid->item(r, 5);
        const QString whole = item->text();
        if (metrics.horizontalAdvance(whole) > room) ++cut;
        EXPECT_EQ(item->toolTip(), whole) << whole.toStdString();
    }
    EXPECT_GT(cut, 0);  // the tooltip is needed, not only there
    // The tooltip follows the row's code: a code the table does not know has none.
    storeAnswer(record, {0x77, 0x77, 0x0F});
    window->Timer1Timer();
    EXPECT_EQ(grid->item(0, 5)->toolTip(), "");
}

}  // namespace
