// Workshop safety on the wire, the running program against the simulated
// control unit: every way of closing a window runs its close behaviour once,
// a command withdrawn with its window never goes out late, a one-shot command
// cut short by "Стоп" reaches the control unit once, the program's end
// releases a switched output even while the link is reconnecting, a release
// counts only when the control unit confirms it, and the state panel shows
// only what a checked answer said.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/main_window.h"
#include "dialogs/actuator_window.h"
#include "dialogs/ecu_init_dialog.h"
#include "dialogs/ecu_reset_dialog.h"
#include "dialogs/error_list.h"
#include "dialogs/input_block.h"
#include "tests/dialogs/main_window_fixture.h"
#include "tests/dialogs/window_fixture.h"
#include "tests/ecu/link_fixture.h"
#include "tests/support/spin_until.h"

namespace m797 {
namespace {

using m797::testing::spinUntil;

using sim::Bytes;

const Bytes kFanOn{0x84, 0x10, 0xF1, 0x30, 0x0A, 0x06, 0xFF, 0xC4};
const Bytes kFanRelease{0x83, 0x10, 0xF1, 0x30, 0x0A, 0x00, 0xBE};
const Bytes kStarterOn{0x84, 0x10, 0xF1, 0x30, 0x0E, 0x06, 0xFF, 0xC8};
const Bytes kStarterRelease{0x83, 0x10, 0xF1, 0x30, 0x0E, 0x00, 0xC2};
const Bytes kReadDtc{0x84, 0x10, 0xF1, 0x18, 0x00, 0x00, 0x00, 0x9D};
const Bytes kClearDtc{0x83, 0x10, 0xF1, 0x14, 0x00, 0x00, 0x98};
const Bytes kReset{0x82, 0x10, 0xF1, 0x11, 0x01, 0x95};
const Bytes kInit{0x82, 0x10, 0xF1, 0x11, 0x90, 0x24};
const Bytes kStartCommunication{0x81, 0x10, 0xF1, 0x81, 0x03};
const char* const kFanLeftOn = "«Реле вентилятора 1» может остаться включённым — выключите зажигание";

constexpr int kFanEntry = 7;             // "Реле вентилятора 1"
constexpr int kIdleRegulatorEntry = 12;  // "Регулятор ХХ"
constexpr int kStarterEntry = 10;
constexpr int kResetEntry = 15;  // "Сброс ЭБУ"
constexpr int kInitEntry = 16;   // "Инициализация ЭБУ"

// The program on the simulator's line, link up.
struct Program {
    sim::KLineSimulator simulator;
    LineTimeouts timeouts;
    std::unique_ptr<TForm1> window;

    explicit Program(sim::SimOptions options = testing::fastSim(),
                     LineTimeouts lineTimeouts = testing::kFastTimeouts)
        : simulator(options), timeouts(lineTimeouts) {}
    ~Program() {
        dialogs_test::closeWindowAndDialogs(window);
        simulator.stop();
    }
    bool start() {
        if (!simulator.start()) return false;
        StartOptions o;
        o.ignoreScreenWidth = true;
        const std::string path = simulator.slavePath();
        o.makeLine = [path, t = timeouts] { return std::make_unique<PosixSerialLine>(path, t); };
        window = std::make_unique<TForm1>(std::move(o));
        window->SpeedButton1Click();
        return spinUntil([&] { return window->record().linkUp.load() == 1; });
    }
    Com_Port& thread() { return *window->acquisitionThread(); }
    // Ends the program the window's way; what it said of outputs left forced.
    QString end() {
        QString notice;
        window->setForcedOutputNotice([&notice](const QString& text) { notice = text; });
        window->endProgram();
        return notice;
    }
    bool cycles(long n) { return dialogs_test::waitForCycles(*window, n); }
    long sent(const Bytes& frame) const {
        const auto frames = simulator.frames();
        return std::count_if(frames.begin(), frames.end(), [&](const auto& f) { return f.bytes == frame; });
    }
    bool forced(std::uint8_t localId) const { return simulator.ecu().forced[localId].forced; }

    TForm5* openActuators() {
        window->speedButton(16)->click();
        return dialogs_test::openWindow<TForm5>();
    }
    // The actuator window with the fan relay switched on in the control unit.
    TForm5* fanOn() {
        TForm5* control = openActuators();
        if (!control) return nullptr;
        control->comboBox()->setCurrentIndex(kFanEntry);
        QTest::mouseClick(control->speedButton(1), Qt::LeftButton);
        return spinUntil([&] { return forced(0x0A); }) ? control : nullptr;
    }
    // "Стоп" the moment `frame` has reached the control unit, while its
    // answer is still being read.
    bool stopWhenSent(const Bytes& frame) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (sent(frame) == 0) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        window->SpeedButton2Click();
        return true;
    }
};

void pressEscape(QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }
void closeByWindowManager(QWidget* w) { w->close(); }

struct CloseWay {
    const char* name;
    void (*close)(QWidget*);
};
const CloseWay kCloseWays[] = {{"Escape", pressEscape}, {"window manager", closeByWindowManager}};

// Escape, the window manager or "Выход"-like ends of the actuator window:
// one release of the forced fan relay, the main window enabled again.
TEST(SafetyWire, EveryWayOfClosingTheActuatorWindowReleasesOnce) {
    for (const CloseWay& way : kCloseWays) {
        Program p;
        ASSERT_TRUE(p.start());
        TForm5* control = p.fanOn();
        ASSERT_NE(control, nullptr) << way.name;
        p.simulator.clearFrames();
        way.close(control);
        ASSERT_TRUE(p.cycles(3));
        EXPECT_EQ(p.sent(kFanRelease), 1) << way.name;
        EXPECT_FALSE(p.forced(0x0A)) << way.name;
        EXPECT_FALSE(m797::dialogs::inputBlocked(p.window.get())) << way.name;
        EXPECT_EQ(dialogs_test::openWindow<TForm5>(), nullptr) << way.name;
    }
}

TEST(SafetyWire, EveryWayOfClosingTheErrorListEndsTheReads) {
    for (const CloseWay& way : kCloseWays) {
        Program p;
        ASSERT_TRUE(p.start());
        p.window->speedButton(17)->click();
        TForm4* list = dialogs_test::openWindow<TForm4>();
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(p.cycles(2));
        way.close(list);
        ASSERT_TRUE(p.cycles(1));
        p.simulator.clearFrames();
        ASSERT_TRUE(p.cycles(3));
        EXPECT_EQ(p.sent(kReadDtc), 0) << way.name;
        EXPECT_FALSE(m797::dialogs::inputBlocked(p.window.get())) << way.name;
    }
}

// A confirmation closed any way but "Да" counts as "Нет": nothing is sent and
// the actuator window comes back, the main window staying disabled under it.
TEST(SafetyWire, AConfirmationClosedAnyWayButYesCountsAsNo) {
    Program p;
    ASSERT_TRUE(p.start());
    TForm5* control = p.openActuators();
    ASSERT_NE(control, nullptr);
    p.simulator.clearFrames();
    for (const CloseWay& way : kCloseWays) {
        for (int entry : {kResetEntry, kInitEntry}) {
            control->comboBox()->setCurrentIndex(entry);
            ConfirmationDialog* dialog = dialogs_test::openWindow<ConfirmationDialog>();
            ASSERT_NE(dialog, nullptr);
            way.close(dialog);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_TRUE(control->isVisible()) << way.name << " " << entry;
            EXPECT_EQ(dialogs_test::openWindow<ConfirmationDialog>(), nullptr);
            EXPECT_TRUE(m797::dialogs::inputBlocked(p.window.get()));
        }
    }
    ASSERT_TRUE(p.cycles(3));
    EXPECT_EQ(p.sent(kReset) + p.sent(kInit), 0);
    control->close();
    EXPECT_FALSE(m797::dialogs::inputBlocked(p.window.get()));
}

// The program ends with the actuator window hidden behind a confirmation: the
// confirmation counts as "Нет", the fan relay switched before is released.
TEST(SafetyWire, EndingTheProgramClosesTheWindowsBehindAConfirmation) {
    Program p;
    ASSERT_TRUE(p.start());
    TForm5* control = p.fanOn();
    ASSERT_NE(control, nullptr);
    control->comboBox()->setCurrentIndex(kResetEntry);
    ASSERT_NE(dialogs_test::openWindow<ConfirmationDialog>(), nullptr);
    p.window->endProgram();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(p.sent(kFanRelease), 1);
    EXPECT_EQ(p.sent(kReset), 0);
    EXPECT_FALSE(p.forced(0x0A));
    EXPECT_EQ(dialogs_test::openWindow<QDialog>(), nullptr);
    EXPECT_FALSE(p.thread().portOpen());
}

// Commands given while the link is stopped and then left behind by closing
// the window are withdrawn: "Старт" sends only the release.
TEST(SafetyWire, ACommandLeftWithItsWindowNeverGoesOutLate) {
    struct Case {
        const char* name;
        void (*command)(TForm5*);
        Bytes withdrawn;
    };
    const Case cases[] = {
        {"starter relay on",
         [](TForm5* c) {
             c->comboBox()->setCurrentIndex(kStarterEntry);
             QTest::mouseClick(c->speedButton(1), Qt::LeftButton);
         },
         kStarterOn},
        {"confirmed reset",
         [](TForm5* c) {
             c->comboBox()->setCurrentIndex(kResetEntry);
             QTest::mouseClick(dialogs_test::openWindow<ConfirmationDialog>()->speedButton(1), Qt::LeftButton);
         },
         kReset},
        {"confirmed initialisation",
         [](TForm5* c) {
             c->comboBox()->setCurrentIndex(kInitEntry);
             QTest::mouseClick(dialogs_test::openWindow<ConfirmationDialog>()->speedButton(1), Qt::LeftButton);
         },
         kInit},
    };
    for (const Case& c : cases) {
        Program p;
        ASSERT_TRUE(p.start());
        TForm5* control = p.openActuators();
        ASSERT_NE(control, nullptr);
        p.window->SpeedButton2Click();  // the link is down
        c.command(control);
        control->close();
        p.simulator.clearFrames();
        p.window->SpeedButton1Click();
        ASSERT_TRUE(p.cycles(4));
        EXPECT_EQ(p.sent(c.withdrawn), 0) << c.name;
        EXPECT_EQ(p.simulator.ecu().resets, 0) << c.name;
    }
}

TEST(SafetyWire, TheStarterReleaseStillGoesOutAfterTheWithdrawal) {
    Program p;
    ASSERT_TRUE(p.start());
    TForm5* control = p.openActuators();
    ASSERT_NE(control, nullptr);
    control->comboBox()->setCurrentIndex(kStarterEntry);
    p.window->SpeedButton2Click();
    QTest::mouseClick(control->speedButton(1), Qt::LeftButton);
    control->close();
    p.simulator.clearFrames();
    p.window->SpeedButton1Click();
    ASSERT_TRUE(p.cycles(3));
    EXPECT_EQ(p.sent(kStarterOn), 0);
    EXPECT_EQ(p.sent(kStarterRelease), 1);
    EXPECT_FALSE(p.forced(0x0E));
}

// "Стоп" while the answer of a one-shot command is read, "Старт" later: the
// read goes on, the command is not written again. The slow control unit
// answers 60 ms after a request, which leaves time to stop in between.
TEST(SafetyWire, StopDuringAOneShotCommandSendsItOnce) {
    struct Case {
        const char* name;
        Bytes frame;
        void (*give)(Program&);
    };
    const Case cases[] = {
        {"trouble-code clear", kClearDtc,
         [](Program& p) {
             p.window->speedButton(17)->click();
             QTest::mouseClick(dialogs_test::openWindow<TForm4>()->speedButton(1), Qt::LeftButton);
         }},
        {"control-unit reset", kReset,
         [](Program& p) {
             TForm5* control = p.openActuators();
             control->comboBox()->setCurrentIndex(kResetEntry);
             QTest::mouseClick(dialogs_test::openWindow<ConfirmationDialog>()->speedButton(1), Qt::LeftButton);
         }},
    };
    for (const Case& c : cases) {
        // Reads wait out the control unit's 60 ms.
        Program p(testing::fastSim(sim::Fault::Slow), LineTimeouts{100, 5, 50, 30});
        ASSERT_TRUE(p.start());
        p.simulator.clearFrames();
        c.give(p);
        ASSERT_TRUE(p.stopWhenSent(c.frame)) << c.name;
        QTest::qWait(200);
        p.window->SpeedButton1Click();
        QTest::qWait(600);
        EXPECT_EQ(p.sent(c.frame), 1) << c.name;
    }
}

// The program ends while the link is down with the fan relay switched on:
// reconnecting (or already given up), the end still connects and releases.
TEST(SafetyWire, EndingTheProgramWhileTheLinkIsDownStillReleases) {
    for (const bool waitForGiveUp : {false, true}) {
        Program p;
        ASSERT_TRUE(p.start());
        ASSERT_NE(p.fanOn(), nullptr);
        p.simulator.setEcuUnplugged(true);
        ASSERT_TRUE(spinUntil([&] { return !p.thread().connectionActive(); }));
        if (waitForGiveUp) {
            // Given up: port closed, the thread suspended itself.
            ASSERT_TRUE(spinUntil([&] { return !p.thread().portOpen() && p.thread().isSuspended(); }));
        }
        p.simulator.clearFrames();
        p.simulator.setEcuUnplugged(false);
        p.window->endProgram();
        EXPECT_EQ(p.sent(kFanRelease), 1) << waitForGiveUp;
        EXPECT_FALSE(p.forced(0x0A)) << waitForGiveUp;
        EXPECT_FALSE(p.thread().portOpen());
    }
}

// A control unit that refuses or ignores every actuator request: the state
// panel says so, never "ВЫКЛ" read from nothing nor a value it did not take.
TEST(SafetyWire, TheStatePanelShowsARefusalOrSilenceAsSuch) {
    struct Case {
        sim::Fault fault;
        const char* shown;
    };
    for (const Case c :
         {Case{sim::Fault::ActuatorRefused, "Отказ ЭБУ"}, Case{sim::Fault::ActuatorSilent, "Нет ответа"}}) {
        Program p(testing::fastSim(c.fault));
        ASSERT_TRUE(p.start());
        TForm5* control = p.openActuators();
        ASSERT_NE(control, nullptr);
        control->comboBox()->setCurrentIndex(kFanEntry);
        ASSERT_TRUE(p.cycles(3));
        control->Timer1Timer();
        EXPECT_EQ(control->statePanel()->text(), QString::fromUtf8(c.shown)) << c.shown;
        // A step of the idle-speed regulator: its refusal, not the value asked for.
        control->comboBox()->setCurrentIndex(kIdleRegulatorEntry);
        control->SpeedButton1Click();
        ASSERT_TRUE(p.cycles(3));
        control->Timer1Timer();
        EXPECT_EQ(control->statePanel()->text(), QString::fromUtf8(c.shown)) << c.shown;
    }
}

// The control unit refuses or ignores the release: it goes out again in
// every cycle, and the end names the output. Once the control unit takes it,
// the output is free and the end says nothing.
TEST(SafetyWire, AReleaseWithoutConfirmationIsTriedAgainAndNamedAtTheEnd) {
    for (const sim::ActuatorAnswers answers : {sim::ActuatorAnswers::Refused, sim::ActuatorAnswers::Silent}) {
        for (const bool laterTaken : {false, true}) {
            Program p;
            ASSERT_TRUE(p.start());
            TForm5* control = p.fanOn();
            ASSERT_NE(control, nullptr);
            p.simulator.setActuatorAnswers(answers);
            p.simulator.clearFrames();
            control->close();
            ASSERT_TRUE(p.cycles(4));
            EXPECT_GE(p.sent(kFanRelease), 3);
            EXPECT_TRUE(p.forced(0x0A));
            if (laterTaken) {
                p.simulator.setActuatorAnswers(sim::ActuatorAnswers::Normal);
                ASSERT_TRUE(spinUntil([&] { return !p.forced(0x0A); }));
            }
            const QString notice = p.end();
            EXPECT_EQ(notice, laterTaken ? QString() : QString::fromUtf8(kFanLeftOn)) << laterTaken;
        }
    }
}

// The release raised in the cycle where the link dies is not forgotten: the
// next connection sends it.
TEST(SafetyWire, AReleaseRaisedAsTheLinkDiesGoesOutOnTheNextConnection) {
    Program p;
    ASSERT_TRUE(p.start());
    TForm5* control = p.fanOn();
    ASSERT_NE(control, nullptr);
    p.simulator.setEcuUnplugged(true);
    control->close();
    ASSERT_TRUE(spinUntil([&] { return !p.thread().connectionActive(); }));
    ASSERT_TRUE(p.forced(0x0A));
    p.simulator.setEcuUnplugged(false);
    EXPECT_TRUE(spinUntil([&] { return !p.forced(0x0A); }));
    EXPECT_EQ(p.end(), QString());
}

// After "Стоп" for longer than a session lasts (5 s without a request), the
// end connects again before the release, and the control unit takes it.
TEST(SafetyWire, AfterALongStopTheEndConnectsAgainToRelease) {
    Program p;
    ASSERT_TRUE(p.start());
    ASSERT_NE(p.fanOn(), nullptr);
    p.window->SpeedButton2Click();
    std::this_thread::sleep_for(std::chrono::milliseconds(5500));
    p.simulator.clearFrames();
    EXPECT_EQ(p.end(), QString());
    EXPECT_FALSE(p.forced(0x0A));
    const auto frames = p.simulator.frames();
    const auto start = std::find_if(frames.begin(), frames.end(),
                                    [](const auto& f) { return f.bytes == kStartCommunication; });
    const auto release = std::find_if(frames.begin(), frames.end(),
                                      [](const auto& f) { return f.bytes == kFanRelease; });
    EXPECT_LT(start - frames.begin(), release - frames.begin());
}

// The adapter pulled for good with an output on: the end cannot release it
// and says so.
TEST(SafetyWire, AnOutputLeftOnWithoutAControlUnitIsNamedAtTheEnd) {
    Program p;
    ASSERT_TRUE(p.start());
    ASSERT_NE(p.fanOn(), nullptr);
    p.simulator.setEcuUnplugged(true);
    EXPECT_EQ(p.end(), QString::fromUtf8(kFanLeftOn));
    EXPECT_TRUE(p.forced(0x0A));
}

// "Стоп", "Ошибки", "Сброс", the list closed, "Старт": the clear never goes
// out and the codes stay in the control unit.
TEST(SafetyWire, AClearLeftWithTheListNeverGoesOutLate) {
    Program p;
    ASSERT_TRUE(p.start());
    p.window->SpeedButton2Click();
    p.window->speedButton(17)->click();
    TForm4* list = dialogs_test::openWindow<TForm4>();
    ASSERT_NE(list, nullptr);
    QTest::mouseClick(list->speedButton(1), Qt::LeftButton);
    list->close();
    p.simulator.clearFrames();
    p.window->SpeedButton1Click();
    ASSERT_TRUE(p.cycles(4));
    EXPECT_EQ(p.sent(kClearDtc), 0);
    EXPECT_EQ(p.simulator.ecu().troubleCodes.size(), 2u);
}

}  // namespace
}  // namespace m797
