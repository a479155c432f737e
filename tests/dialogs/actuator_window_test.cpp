// TForm5 and the two confirmations through their handlers and the record's flags.

#include <gtest/gtest.h>
#include <memory>

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <vector>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "dialogs/actuator_window.h"
#include "dialogs/ecu_init_dialog.h"
#include "dialogs/ecu_reset_dialog.h"
#include "dialogs/input_block.h"
#include "ecu/request_table.h"
#include "tests/dialogs/window_fixture.h"

namespace {

std::vector<int> flagged(m797::LiveRecord& r, std::atomic<std::uint8_t> m797::ActuatorEntry::*flag) {
    std::vector<int> entries;
    for (int e = 0; e < m797::kActuatorEntries; ++e)
        if ((r.actuator[e].*flag).load() == 1) entries.push_back(e);
    return entries;
}

void clearRequests(m797::LiveRecord& r) {
    for (m797::ActuatorEntry& a : r.actuator) {
        a.reportRequest = 0;
        a.releaseRequest = 0;
        a.onRequest = 0;
        a.offRequest = 0;
        a.setRequest = 0;
    }
}

using m797::ActuatorEntry;

struct ActuatorWindow : ::testing::Test {
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    QWidget main;
    TForm5* window = nullptr;
    void SetUp() override {
        m797::storeSetValueFrameHeads(record);
        // What "Управление" raises together with the window.
        record.actuatorWindowOpen = 1;
        record.actuator[0].reportRequest = 1;
        m797::dialogs::setInputBlocked(&main, true);
        window = new TForm5(record, &main);
    }
    void TearDown() override {
        if (window) window->close();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<ConfirmationDialog*>(w)) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void choose(int entry) { window->comboBox()->setCurrentIndex(entry); }
    QString caption(int n) const { return window->speedButton(n)->text(); }
    QString panelAfterTick() {
        window->Timer1Timer();
        return window->statePanel()->text();
    }
};

// The state panel shows only a state read while the entry is under test: not
// the last text of an earlier test, nor anything after a confirmation's "Нет".
TEST_F(ActuatorWindow, TheStatePanelShowsNothingItDoesNotKnow) {
    const auto readState = [this](int entry, const char* text) {
        std::lock_guard<std::mutex> guard(record.lock);
        record.actuator[entry].stateText = m797::toCp1251(text);
    };
    readState(0, "ВКЛ");
    EXPECT_EQ(panelAfterTick(), "ВКЛ");
    choose(3);
    readState(0, "ВКЛ");  // left behind by entry 0's test
    choose(0);
    EXPECT_EQ(panelAfterTick(), "") << "a state from before this test";
    readState(0, "ВЫКЛ");
    EXPECT_EQ(panelAfterTick(), "ВЫКЛ");
    for (int button : {2, 1}) {  // "Нет", then "Да"
        choose(15);
        auto* dialog = dialogs_test::openWindow<TForm6>();
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->speedButton(button), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        readState(0, "ВКЛ");
        if (button == 2) {
            EXPECT_EQ(panelAfterTick(), "") << "entry 0 is not under test after \"Нет\"";
        } else {
            EXPECT_EQ(panelAfterTick(), "ВКЛ") << "under test again after \"Да\"";
        }
    }
}

// Moving the selection releases the old entry and puts the new one under test.
TEST_F(ActuatorWindow, SelectionReleasesTheOldEntryAndReportsTheNew) {
    struct Case {
        int from, to;
        const char* up;
        const char* down;
    };
    const Case cases[] = {{0, 5, "Вкл", "Выкл"}, {5, 12, "+1 шаг", "-1 шаг"}, {12, 13, "+10 об", "-10 об"},
                          {13, 14, "+1", "-1"},  {14, 11, "Вкл", "Выкл"},     {11, 6, "Вкл", "Выкл"}};
    for (const Case& c : cases) {
        choose(c.from);
        clearRequests(record);
        choose(c.to);
        EXPECT_EQ(flagged(record, &ActuatorEntry::releaseRequest), std::vector<int>{c.from}) << c.to;
        EXPECT_EQ(flagged(record, &ActuatorEntry::reportRequest), std::vector<int>{c.to});
        EXPECT_EQ(window->previousEntry(), c.to);
        EXPECT_EQ(caption(1), c.up);
        EXPECT_EQ(caption(2), c.down);
    }
}

TEST_F(ActuatorWindow, OnAndOffButtons) {
    struct Case {
        int entry;
        int button;
        std::vector<int> on, off;
    };
    const Case cases[] = {{0, 1, {0}, {}}, {3, 2, {}, {3}}, {4, 1, {4}, {}},  {5, 2, {}, {}},
                          {6, 2, {}, {}},  {7, 2, {}, {7}}, {11, 1, {11}, {}}};
    for (const Case& c : cases) {
        choose(c.entry);
        clearRequests(record);
        record.actuator[c.entry].reportRequest = 1;
        QTest::mouseClick(window->speedButton(c.button), Qt::LeftButton);
        EXPECT_EQ(flagged(record, &ActuatorEntry::onRequest), c.on) << c.entry;
        EXPECT_EQ(flagged(record, &ActuatorEntry::offRequest), c.off) << c.entry;
        EXPECT_TRUE(flagged(record, &ActuatorEntry::releaseRequest).empty());
    }
}

// Set values step within their limits and every press sends the frame.
TEST_F(ActuatorWindow, SetValueStepsWithinLimitsAndAlwaysSends) {
    struct Case {
        int entry;
        std::int32_t start;
        int button;
        std::int32_t value;
        std::uint8_t frame6, frame7;
        const char* shown;
    };
    const Case cases[] = {
        {12, 255, 1, 255, 0xFF, 0xFC, "255  Шаг"}, {12, 0, 2, 0, 0x00, 0xFD, "0  Шаг"},
        {12, 31, 1, 32, 0x20, 0x1D, "32  Шаг"},    {13, 255, 1, 255, 0xFF, 0xFD, "2550   Об."},
        {13, 80, 2, 79, 0x4F, 0x4D, "790   Об."},  {14, 100, 1, 100, 0x64, 0x63, "100 %"},
        {14, 0, 2, 0, 0x00, 0xFF, "0 %"},          {14, 99, 1, 100, 0x64, 0x63, "100 %"},
    };
    for (const Case& c : cases) {
        choose(c.entry);
        record.actuator[c.entry].setValue = c.start;
        record.actuator[c.entry].setRequest = 0;
        QTest::mouseClick(window->speedButton(c.button), Qt::LeftButton);
        const ActuatorEntry& a = record.actuator[c.entry];
        EXPECT_EQ(a.setValue, c.value) << c.entry << " " << c.start;
        EXPECT_EQ(a.setRequest, 1);
        EXPECT_EQ(a.setValueFrame[6], c.frame6);
        EXPECT_EQ(a.setValueFrame[7], c.frame7);
        // Shown once the control unit confirmed it, in the entry's unit.
        record.actuator[c.entry].shownValue = c.value;
        EXPECT_EQ(panelAfterTick(), c.shown);
        choose(0);
    }
}

// A refused or unanswered set value shows as such, not as the value asked for.
TEST_F(ActuatorWindow, ARefusedSetValueShowsTheRefusal) {
    record.analog[m797::slotOf(54).index].raw[0] = 42;
    choose(12);
    QTest::mouseClick(window->speedButton(1), Qt::LeftButton);
    EXPECT_EQ(record.actuator[12].setValue, 43);
    EXPECT_EQ(panelAfterTick(), "42  Шаг") << "asked for, not yet confirmed";
    {
        const m797::RecordWriteLock held(record);
        record.actuator[12].stateText = m797::toCp1251("Отказ ЭБУ");
    }
    EXPECT_EQ(panelAfterTick(), "Отказ ЭБУ");
    choose(13);
    choose(12);
    EXPECT_EQ(panelAfterTick(), "42  Шаг") << "chosen again: the measured value, the refusal forgotten";
}

TEST_F(ActuatorWindow, IdleControlsStartFromTheLiveBytes) {
    record.analog[m797::slotOf(54).index].raw[0] = 42;
    record.analog[m797::slotOf(58).index].raw[0] = 80;
    choose(12);
    EXPECT_EQ(panelAfterTick(), "42  Шаг");
    choose(13);
    EXPECT_EQ(panelAfterTick(), "800   Об.");
    record.actuator[14].setValue = 55;
    choose(14);
    EXPECT_EQ(panelAfterTick(), "0 %");
}

TEST_F(ActuatorWindow, ForcingAnEntryKeepsItUnderTest) {
    choose(15);  // the reset dialog leaves entry 0 selected but not reported
    TForm6* reset = dialogs_test::openWindow<TForm6>();
    ASSERT_NE(reset, nullptr);
    QTest::mouseClick(reset->speedButton(2), Qt::LeftButton);
    window->Timer1Timer();
    EXPECT_EQ(record.actuator[0].reportRequest, 0);
    QTest::mouseClick(window->speedButton(1), Qt::LeftButton);
    EXPECT_EQ(record.actuator[0].onRequest, 1);
    EXPECT_EQ(record.actuator[0].reportRequest, 1);
}

// Back on an entry before the thread served its release: the release ends
// the report, and the window puts the entry under test again.
TEST_F(ActuatorWindow, ReturningToAnEntryBeforeItsReleaseKeepsItUnderTest) {
    choose(3);
    choose(9);
    choose(3);
    ASSERT_EQ(record.actuator[3].releaseRequest, 1);
    ASSERT_EQ(record.actuator[3].reportRequest, 1);
    record.actuator[3].releaseRequest = 0;  // as the thread serves the release
    record.actuator[3].reportRequest = 0;
    window->Timer1Timer();
    EXPECT_EQ(flagged(record, &ActuatorEntry::reportRequest), std::vector<int>{3});
}

TEST_F(ActuatorWindow, ClosingReleasesTheSelectedEntry) {
    choose(6);
    clearRequests(record);
    window->close();
    window = nullptr;
    EXPECT_EQ(flagged(record, &ActuatorEntry::releaseRequest), std::vector<int>{6});
    EXPECT_FALSE(m797::dialogs::inputBlocked(&main));
    EXPECT_EQ(record.actuatorWindowOpen, 1);
}

// Both confirmations: the window hides, every report stops, and either answer
// brings it back on entry 0 with "Вкл"/"Выкл".
TEST_F(ActuatorWindow, ResetAndInitialisationConfirmations) {
    struct Case {
        int entry;
        int button;
        bool reset, init;
        bool closeInstead;
    };
    const Case cases[] = {{15, 1, true, false, false},
                          {15, 2, false, false, false},
                          {16, 1, false, true, false},
                          {16, 2, false, false, false},
                          {16, 0, false, false, true}};
    for (const Case& c : cases) {
        record.ecuResetRequest = 0;
        record.ecuInitRequest = 0;
        choose(12);
        clearRequests(record);
        choose(c.entry);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->comboBox()->currentIndex(), 0);
        EXPECT_EQ(window->previousEntry(), 0);
        EXPECT_EQ(flagged(record, &ActuatorEntry::releaseRequest), std::vector<int>{12});
        EXPECT_TRUE(flagged(record, &ActuatorEntry::reportRequest).empty());
        ConfirmationDialog* dialog = c.entry == 15
                                         ? static_cast<ConfirmationDialog*>(dialogs_test::openWindow<TForm6>())
                                         : dialogs_test::openWindow<TForm7>();
        ASSERT_NE(dialog, nullptr);
        if (c.closeInstead)
            dialog->close();
        else
            QTest::mouseClick(dialog->speedButton(c.button), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window->isVisible()) << c.entry << " " << c.button;
        EXPECT_EQ(record.ecuResetRequest, c.reset ? 1 : 0);
        EXPECT_EQ(record.ecuInitRequest, c.init ? 1 : 0);
        EXPECT_EQ(flagged(record, &ActuatorEntry::reportRequest),
                  c.button == 1 ? std::vector<int>{0} : std::vector<int>{});
        EXPECT_EQ(caption(1), "Вкл");
        EXPECT_EQ(caption(2), "Выкл");
        EXPECT_EQ(dialogs_test::openWindow<ConfirmationDialog>(), nullptr);
    }
}

}  // namespace
