// The widgets' texts on a machine that has only the fonts the package pulls in
// (CTest runs this with a fontconfig that sees fonts-liberation alone). A
// generic family there resolves to Liberation Mono, whose wide letters cut
// "P  0102" to "P …" in the error list.

#include <gtest/gtest.h>
#include <memory>

#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <cstring>

#include "app/record/live_record.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/error_list.h"
#include "tests/dialogs/window_fixture.h"

namespace {

using dialogs_test::storeAnswer;

// What the item delegate does with a text too wide for its cell.
bool fitsWhole(const QWidget* widget, const QString& text, int width) {
    const int margin = widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QFontMetrics metrics(widget->font());
    return metrics.elidedText(text, Qt::ElideRight, width - 2 * margin) == text;
}

TEST(WidgetFont, IsTheFaceThePackageInstalls) {
    const QFontInfo resolved(m797::dialogs::windowFont());
    EXPECT_EQ(resolved.family().toStdString(), "Liberation Sans");
    EXPECT_FALSE(resolved.fixedPitch());
}

TEST(WidgetFont, TroubleCodesAndHeadingsOfTheErrorListShowWhole) {
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    storeAnswer(record, {0x01, 0x02, 0xE8, 0x03, 0x00, 0x20, 0x77, 0x77, 0x0F});
    QWidget main;
    auto* window = new TForm4(record, &main);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QTableWidget* grid = window->grid();
    ASSERT_EQ(grid->rowCount(), 3);
    for (int row = 0; row < grid->rowCount(); ++row) {
        const QString code = grid->item(row, 0)->text();
        EXPECT_TRUE(fitsWhole(grid, code, grid->columnWidth(0))) << code.toStdString();
    }
    // M797_FRAME_DIR keeps the window as drawn, for a look.
    if (const char* dir = std::getenv("M797_FRAME_DIR"))
        window->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/error-list.png"));
    QHeaderView* header = grid->horizontalHeader();
    for (int column = 0; column < 5; ++column) {
        const QString heading = grid->horizontalHeaderItem(column)->text();
        EXPECT_TRUE(fitsWhole(header, heading, header->sectionSize(column))) << heading.toStdString();
    }
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(WidgetFont, ButtonCaptionsFitTheirButtons) {
    const QString captions[] = {QStringLiteral("Управление"), QStringLiteral("О программе"),
                                QStringLiteral("Настройка"), QStringLiteral("Ошибки")};
    for (bool bold : {false, true}) {
        const QFontMetrics metrics(m797::dialogs::windowFont(bold));
        for (const QString& caption : captions)
            EXPECT_LE(metrics.horizontalAdvance(caption), 89 - 6)
                << caption.toStdString() << (bold ? " bold" : "");
    }
}

}  // namespace
