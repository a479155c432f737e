// Every text of every window fits the control it belongs to and keeps clear
// of the frames around it, measured with the window font on a machine that
// has only the fonts the package pulls in (CTest gives this suite a
// fontconfig that sees fonts-liberation alone). Texts a window shows later
// (button captions per entry, state texts, every list row) are measured too.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "app/main_window.h"
#include "app/record/cp1251.h"
#include "app/record/live_record.h"
#include "app/screen_width.h"
#include "dialogs/actuator_window.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/display_error_notice.h"
#include "dialogs/ecu_init_dialog.h"
#include "dialogs/ecu_reset_dialog.h"
#include "dialogs/error_list.h"
#include "dialogs/trouble_code_list.h"
#include "ecu/serial_line.h"
#include "settings/settings_dialog.h"
#include "tests/support/silent_line.h"

namespace {

using m797::testing::SilentLine;

// Pixels a text keeps from a frame or a neighbour: 0 or 1 would touch it.
constexpr int kClearance = 2;
// A button's caption keeps this much from each side of the button.
constexpr int kButtonMargin = 3;

std::string where(const QWidget* w, const QString& text) {
    return (w->window()->objectName() + QStringLiteral(" ") + w->metaObject()->className() + QStringLiteral(" ") +
            w->objectName() + QStringLiteral(" \"") + text + QStringLiteral("\""))
        .toStdString();
}

QSize textSize(const QFont& font, const QString& text) {
    const QFontMetrics m(font);
    const QStringList lines = text.split(QLatin1Char('\n'));
    int width = 0;
    // A trailing space draws nothing.
    for (QString line : lines) {
        while (line.endsWith(QLatin1Char(' '))) line.chop(1);
        width = std::max(width, m.horizontalAdvance(line));
    }
    return {width, m.height() + m.lineSpacing() * static_cast<int>(lines.size() - 1)};
}

// The rectangle the label's text takes, in its parent's coordinates.
QRect labelTextBox(const QLabel* label, const QString& text) {
    const QRect room = label->contentsRect();
    const QSize size = textSize(label->font(), text);
    QRect box = QStyle::alignedRect(Qt::LeftToRight, label->alignment(), size, room);
    return box.translated(label->pos());
}

// A sibling that holds the whole text box is a backdrop (the main window's
// picture), not a neighbour the text could run into.
bool isBackdrop(const QWidget* sibling, const QRect& box) { return sibling->geometry().contains(box); }

void checkLabelText(const QLabel* label, const QString& text, std::vector<std::string>& misfits) {
    if (text.isEmpty()) return;
    const QSize size = textSize(label->font(), text);
    if (size.width() > label->contentsRect().width() || size.height() > label->contentsRect().height())
        misfits.push_back(where(label, text) + " wider or taller than its control");
    const QWidget* parent = label->parentWidget();
    const QRect box = labelTextBox(label, text);
    const QRect room = parent->contentsRect().adjusted(kClearance, kClearance, -kClearance, -kClearance);
    if (!room.contains(box)) misfits.push_back(where(label, text) + " runs into the frame around it");
    for (const QObject* o : parent->children()) {
        const auto* sibling = qobject_cast<const QWidget*>(o);
        if (!sibling || sibling == label || !sibling->isVisibleTo(parent) || isBackdrop(sibling, box)) continue;
        if (sibling->geometry().adjusted(-kClearance, -kClearance, kClearance, kClearance).intersects(box))
            misfits.push_back(where(label, text) + " touches " + where(sibling, QString()));
    }
}

void checkButtonText(const QAbstractButton* button, const QString& text, std::vector<std::string>& misfits) {
    int room = button->width() - 2 * kButtonMargin;
    if (qobject_cast<const QRadioButton*>(button)) {
        const QStyle* s = button->style();
        room = button->width() - s->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) -
               s->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button) - kClearance;
    }
    if (textSize(button->font(), text).width() > room)
        misfits.push_back(where(button, text) + " wider than its button");
}

// Every row of a list can be the one on show in the closed list and is one line of the open list.
void checkComboRows(const QComboBox* combo, std::vector<std::string>& misfits) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField,
                                                       combo);
    const int room = field.width() - 2 * kClearance;
    // The open list: its rows keep the item view's text margins.
    auto* mutableCombo = const_cast<QComboBox*>(combo);
    mutableCombo->showPopup();
    const QAbstractItemView* view = combo->view();
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const int openRoom = view->viewport()->width() - 2 * margin;
    mutableCombo->hidePopup();
    for (int i = 0; i < combo->count(); ++i) {
        const QString row = combo->itemText(i);
        const int width = textSize(combo->font(), row).width();
        if (width > room) misfits.push_back(where(combo, row) + " wider than the closed list shows");
        if (width > openRoom) misfits.push_back(where(combo, row) + " wider than the open list shows");
    }
}

void checkGroupTitle(const QGroupBox* box, std::vector<std::string>& misfits) {
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    if (label.right() > box->width() - kClearance || textSize(box->font(), box->title()).width() > label.width())
        misfits.push_back(where(box, box->title()) + " wider than its group");
}

void checkTabs(const QTabBar* tabs, std::vector<std::string>& misfits) {
    const QWidget* holder = tabs->parentWidget();
    if (tabs->sizeHint().width() > holder->width())
        misfits.push_back(where(tabs, QString()) + " tabs wider than the window");
    for (int i = 0; i < tabs->count(); ++i)
        if (textSize(tabs->font(), tabs->tabText(i)).width() > tabs->tabRect(i).width() - 2 * kButtonMargin)
            misfits.push_back(where(tabs, tabs->tabText(i)) + " wider than its tab");
}

// On the grabbed window, the ring of pixels kClearance outside a label's text
// is one plain colour: no ink runs out of the text's box and no frame or
// neighbour comes that close. (Not on the main window, whose labels stand on
// a picture.)
void checkLabelRing(const QImage& frame, const QWidget* window, const QLabel* label,
                    std::vector<std::string>& misfits) {
    if (label->text().isEmpty() || !label->pixmap().isNull()) return;
    const QRect box =
        labelTextBox(label, label->text()).translated(label->parentWidget()->mapTo(window, QPoint(0, 0)));
    const QRect ring = box.adjusted(-kClearance, -kClearance, kClearance, kClearance);
    if (!frame.rect().contains(ring)) {
        misfits.push_back(where(label, label->text()) + " reaches the window's edge");
        return;
    }
    const QRgb ground = frame.pixel(ring.topLeft());
    int foreign = 0;
    for (int x = ring.left(); x <= ring.right(); ++x)
        foreign += (frame.pixel(x, ring.top()) != ground) + (frame.pixel(x, ring.bottom()) != ground);
    for (int y = ring.top(); y <= ring.bottom(); ++y)
        foreign += (frame.pixel(ring.left(), y) != ground) + (frame.pixel(ring.right(), y) != ground);
    if (foreign > 0)
        misfits.push_back(where(label, label->text()) + " has ink or a frame " + std::to_string(kClearance) +
                          " pixels around it (" + std::to_string(foreign) + " pixels)");
}

// Later texts of a control, by object name, measured in its place.
using LaterTexts = std::map<QString, QStringList>;

std::vector<std::string> misfitsOf(QWidget* window, const LaterTexts& later = {}) {
    std::vector<std::string> misfits;
    const QImage frame = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const bool plainGround = qobject_cast<TForm1*>(window) == nullptr;
    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(window)) continue;
        QStringList texts = later.count(w->objectName()) ? later.at(w->objectName()) : QStringList();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->pixmap().isNull()) texts << label->text();
            for (const QString& t : texts) checkLabelText(label, t, misfits);
            if (plainGround) checkLabelRing(frame, window, label, misfits);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            texts << button->text();
            for (const QString& t : texts) checkButtonText(button, t, misfits);
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            checkComboRows(combo, misfits);
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            checkGroupTitle(box, misfits);
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            checkTabs(tabs, misfits);
        }
    }
    return misfits;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines) all += "\n  " + l;
    return all;
}

// The windows are made over one main window, as the program makes them.
struct Windows : ::testing::Test {
    static void SetUpTestSuite() { m797::dialogs::installApplicationFont(); }
    std::unique_ptr<TForm1> main;
    int grabs_ = 0;
    void SetUp() override {
        m797::setScreenWidthForTesting(1024);
        StartOptions options;
        options.makeLine = [] { return std::make_unique<SilentLine>(); };
        main = std::make_unique<TForm1>(std::move(options));
        m797::setScreenWidthForTesting(0);
        main->setObjectName(QStringLiteral("TForm1"));
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != main.get() && w->isVisible()) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        main.reset();
    }
    void expectAllFit(QWidget* window, const LaterTexts& later = {}) {
        // M797_FRAME_DIR keeps each window as drawn, for a look.
        if (const char* dir = std::getenv("M797_FRAME_DIR"))
            window->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + window->objectName() +
                                QLatin1Char('-') + QString::number(++grabs_) + QStringLiteral(".png"));
        const std::vector<std::string> misfits = misfitsOf(window, later);
        EXPECT_TRUE(misfits.empty()) << joined(misfits);
    }
};

TEST_F(Windows, MainWindowTextsFit) { expectAllFit(main.get()); }

TEST_F(Windows, SettingsDialogTextsFit) {
    auto* dialog = new TForm3(
        main->record(), [this](int n) { main->panel(n)->update(); }, *main, main->settings().file());
    dialog->setObjectName(QStringLiteral("TForm3"));
    // The widest row on show in every list, as the grabbed frame shows it.
    for (QComboBox* list : dialog->findChildren<QComboBox*>()) {
        int widest = 0;
        for (int i = 1; i < list->count(); ++i)
            if (textSize(list->font(), list->itemText(i)).width() >
                textSize(list->font(), list->itemText(widest)).width())
                widest = i;
        list->setCurrentIndex(widest);
    }
    // Every page's texts, not only the first page's.
    auto* pages = dialog->findChild<QTabWidget*>();
    ASSERT_NE(pages, nullptr);
    for (int p = 0; p < pages->count(); ++p) {
        pages->setCurrentIndex(p);
        expectAllFit(dialog);
    }
}

// Every trouble code the table knows, in one answer.
void storeEveryKnownCode(m797::LiveRecord& record) {
    std::lock_guard<std::mutex> guard(record.lock);
    std::memset(record.dtcResponse, 0, sizeof record.dtcResponse);
    int count = 0;
    for (int hi = 0; hi < 0x20; ++hi)
        for (int lo = 0; lo < 0x100; ++lo) {
            if (!m797::troubleCodeText(static_cast<std::uint8_t>(hi), static_cast<std::uint8_t>(lo))) continue;
            const int p = 13 + 3 * count++;
            record.dtcResponse[p] = static_cast<std::uint8_t>(hi);
            record.dtcResponse[p + 1] = static_cast<std::uint8_t>(lo);
            record.dtcResponse[p + 2] = 0xFF;
        }
    record.dtcResponse[12] = static_cast<std::uint8_t>(count);
}

TEST_F(Windows, ErrorListTextsFit) {
    storeEveryKnownCode(main->record());
    auto* window = new TForm4(main->record(), main.get());
    window->setObjectName(QStringLiteral("TForm4"));
    ASSERT_EQ(window->grid()->rowCount(), 85);
    expectAllFit(window, {{QStringLiteral("Label2"), {QStringLiteral("255")}}});
    // The headings and the codes show whole in their columns; a description
    // cut to its column can be read whole from the row (checked in the error
    // list's own tests).
    QTableWidget* grid = window->grid();
    QHeaderView* header = grid->horizontalHeader();
    const int cellMargin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    for (int c = 0; c < grid->columnCount(); ++c) {
        const QString heading = grid->horizontalHeaderItem(c)->text();
        EXPECT_LE(textSize(header->font(), heading).width(), header->sectionSize(c) - 2 * cellMargin)
            << heading.toStdString();
    }
    for (int r = 0; r < grid->rowCount(); ++r) {
        const QString code = grid->item(r, 0)->text();
        EXPECT_LE(textSize(grid->font(), code).width(), grid->columnWidth(0) - 2 * cellMargin)
            << code.toStdString();
        EXPECT_LE(textSize(grid->font(), code).height(), grid->rowHeight(r)) << code.toStdString();
    }
    // What the window says when a read brought no list.
    for (auto answer :
         {m797::TroubleCodeAnswer::Refused, m797::TroubleCodeAnswer::NoAnswer, m797::TroubleCodeAnswer::Damaged}) {
        {
            std::lock_guard<std::mutex> guard(main->record().lock);
            main->record().dtcAnswer = answer;
            main->record().dtcRefusalCode = 0xFF;
        }
        window->Timer1Timer();
        expectAllFit(window);
    }
}

TEST_F(Windows, ActuatorWindowTextsFit) {
    auto* window = new TForm5(main->record(), main.get());
    window->setObjectName(QStringLiteral("TForm5"));
    // The captions of the idle-control entries and everything the state panel shows.
    expectAllFit(
        window,
        {{QStringLiteral("SpeedButton1"), {"+1 шаг", "+10 об", "+1"}},
         {QStringLiteral("SpeedButton2"), {"-1 шаг", "-10 об", "-1"}},
         {QStringLiteral("Panel2"),
          {"ВКЛ", "ВЫКЛ", "Заглушите двигатель", "Отказ ЭБУ", "Нет ответа", "255  Шаг", "2550   Об.", "100 %"}}});
}

struct Confirmation {
    const char* name;
    std::function<QWidget*(m797::LiveRecord&)> open;
};

TEST_F(Windows, ConfirmationTextsFit) {
    const Confirmation confirmations[] = {
        {"TForm6", [](m797::LiveRecord& r) { return new TForm6(r, [](bool) {}); }},
        {"TForm7", [](m797::LiveRecord& r) { return new TForm7(r, [](bool) {}); }},
    };
    for (const Confirmation& c : confirmations) {
        QWidget* dialog = c.open(main->record());
        dialog->setObjectName(QString::fromUtf8(c.name));
        expectAllFit(dialog);
        dialog->close();
    }
}

// The notice's text is its picture; what it holds must fit all the same.
TEST_F(Windows, DisplayErrorNoticeTextsFit) {
    TForm8 notice;
    notice.setObjectName(QStringLiteral("TForm8"));
    notice.timer()->stop();
    expectAllFit(&notice);
}

}  // namespace
