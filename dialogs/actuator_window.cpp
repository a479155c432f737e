#include "dialogs/actuator_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include "app/cp1251.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/ecu_init_dialog.h"
#include "dialogs/ecu_reset_dialog.h"
#include "ecu/request_table.h"

namespace {

constexpr const char* kEntries[] = {
    "Форсунка 1",         "Форсунка 2",         "Форсунка 3",        "Форсунка 4",
    "Зажигание 1-4",      "Зажигание 2-3",      "Реле бензонасоса",  "Реле вентилятора 1",
    "Реле вентилятора 2", "Реле кондиционера",  "Реле стартера",     "Лампа неисправности",
    "Регулятор ХХ",       "Обороты ХХ",         "Клапан продувки адсорбера",
    "Сброс ЭБУ",          "Инициализация ЭБУ"};

constexpr int kResetEntry = 15;
constexpr int kInitEntry = 16;
constexpr int kFirstIdleEntry = m797::kFirstIdleControlEntry;

bool drivesAnOutput(int entry) { return entry >= 0 && entry < m797::kActuatorEntries; }
bool isIdleControl(int entry) { return entry >= kFirstIdleEntry && entry < m797::kActuatorEntries; }

// Idle-control entries 12..14: button captions, the upper limit of the set
// value, and the unit text after the shown value.
struct IdleControl {
    const char* up;
    const char* down;
    int limit;
    int shownFactor;
    const char* unit;
};
constexpr IdleControl kIdleControls[3] = {{"+1 шаг", "-1 шаг", 255, 1, "  Шаг"},
                                          {"+10 об", "-10 об", 255, 10, "   Об."},
                                          {"+1", "-1", 100, 1, " %"}};

const IdleControl& idleControl(int entry) { return kIdleControls[entry - kFirstIdleEntry]; }

// Parameters 54 MOMPOS and 58 NSOL give the start values of entries 12 and 13.
std::int32_t rawByteOf(const m797::LiveRecord& record, int parameterNumber) {
    const m797::SlotRef slot = m797::slotOf(parameterNumber);
    if (slot.kind != m797::SlotKind::Analog) return 0;
    return record.analog[slot.index].raw[0];
}

}  // namespace

TForm5::TForm5(m797::LiveRecord& record, QWidget* mainWindow)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), record_(record),
      mainWindow_(mainWindow) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Управление"));
    setFont(dialogs::windowFont());
    dialogs::fixAndCentre(this, 201, 113);
    auto* group = new QGroupBox(QStringLiteral("Управление"), this);
    group->setGeometry(4, 0, 193, 52);
    ComboBox1 = new QComboBox(group);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 20, 177, 22);
    for (const char* e : kEntries) ComboBox1->addItem(QString::fromUtf8(e));
    ComboBox1->setMaxVisibleItems(17);
    ComboBox1->setCurrentIndex(0);
    Panel2 = new QLabel(QStringLiteral("Выл"), this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(4, 56, 193, 22);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setAlignment(Qt::AlignCenter);
    SpeedButton1 = dialogs::buttonAt(this, QStringLiteral("SpeedButton1"), QString(), {4, 84, 94, 24});
    SpeedButton2 = dialogs::buttonAt(this, QStringLiteral("SpeedButton2"), QString(), {103, 84, 94, 24});
    setOnOffCaptions();
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TForm5::ComboBox1Change);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm5::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm5::SpeedButton2Click);
    Timer1 = new QTimer(this);
    connect(Timer1, &QTimer::timeout, this, &TForm5::Timer1Timer);
    Timer1->start(100);
    show();
}

void TForm5::setOnOffCaptions() {
    SpeedButton1->setText(QStringLiteral("Вкл"));
    SpeedButton2->setText(QStringLiteral("Выкл"));
}

void TForm5::ComboBox1Change(int entry) {
    if (drivesAnOutput(previousEntry_)) record_.actuator[previousEntry_].releaseRequest = 1;
    if (drivesAnOutput(entry)) selectForTest(entry);
    if (entry == kResetEntry || entry == kInitEntry) openConfirmation(entry);
    previousEntry_ = ComboBox1->currentIndex();
}

void TForm5::selectForTest(int entry) {
    if (isIdleControl(entry)) {
        const IdleControl& idle = idleControl(entry);
        SpeedButton1->setText(QString::fromUtf8(idle.up));
        SpeedButton2->setText(QString::fromUtf8(idle.down));
    } else {
        setOnOffCaptions();
    }
    for (int e = 0; e < m797::kActuatorEntries; ++e) record_.actuator[e].reportRequest = e == entry ? 1 : 0;
    selectedUnderTest_ = true;
    std::lock_guard<std::mutex> guard(record_.lock);
    if (entry == 12) record_.actuator[12].setValue = rawByteOf(record_, 54);
    if (entry == 13) record_.actuator[13].setValue = rawByteOf(record_, 58);
    if (entry == 14) record_.actuator[14].setValue = 0;
}

void TForm5::openConfirmation(int entry) {
    for (m797::ActuatorEntry& a : record_.actuator) a.reportRequest = 0;
    selectedUnderTest_ = false;
    if (entry == kResetEntry)
        new TForm6(record_, this);
    else
        new TForm7(record_, this);
    hide();
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->setCurrentIndex(0);
}

// An output is forced only while it is under test, so that its state is read
// back and closing the window or ending the program releases it.
void TForm5::keepUnderTest(int entry) {
    if (record_.actuator[entry].reportRequest != 1) record_.actuator[entry].reportRequest = 1;
    selectedUnderTest_ = true;
}

// Leaving an entry and coming back to it before the thread's next cycle
// leaves both its release and its report pending; serving the release also
// ends the report. The selected entry then goes under test again.
void TForm5::rearmReport(int entry) {
    m797::ActuatorEntry& a = record_.actuator[entry];
    if (a.reportRequest == 1)
        selectedUnderTest_ = true;  // also after "Да" in a confirmation
    else if (selectedUnderTest_ && a.releaseRequest == 0)
        a.reportRequest = 1;
}

void TForm5::SpeedButton1Click() {
    const int entry = ComboBox1->currentIndex();
    if (m797::actuatorHasOn(entry)) {
        keepUnderTest(entry);
        record_.actuator[entry].onRequest = 1;
    } else if (isIdleControl(entry)) {
        stepSetValue(entry, +1);
    }
}

void TForm5::SpeedButton2Click() {
    const int entry = ComboBox1->currentIndex();
    if (m797::actuatorHasOff(entry)) {
        keepUnderTest(entry);
        record_.actuator[entry].offRequest = 1;
    } else if (isIdleControl(entry)) {
        stepSetValue(entry, -1);
    }
}

void TForm5::stepSetValue(int entry, int step) {
    m797::ActuatorEntry& a = record_.actuator[entry];
    {
        std::lock_guard<std::mutex> guard(record_.lock);
        const bool room = step > 0 ? a.setValue < idleControl(entry).limit : a.setValue > 0;
        if (room) a.setValue += step;
        m797::completeSetValueFrame(record_, entry, a.setValue);
    }
    keepUnderTest(entry);
    a.setRequest = 1;
}

void TForm5::Timer1Timer() {
    const int entry = ComboBox1->currentIndex();
    if (!drivesAnOutput(entry)) return;
    rearmReport(entry);
    std::lock_guard<std::mutex> guard(record_.lock);
    const m797::ActuatorEntry& a = record_.actuator[entry];
    if (isIdleControl(entry)) {
        const IdleControl& idle = idleControl(entry);
        Panel2->setText(QString::number(a.setValue * idle.shownFactor) + QString::fromUtf8(idle.unit));
    } else {
        Panel2->setText(QString::fromStdString(m797::cp1251ToUtf8(a.stateText)));
    }
}

void TForm5::closeEvent(QCloseEvent* event) {
    if (mainWindow_) mainWindow_->setEnabled(true);
    Timer1->stop();
    const int entry = ComboBox1->currentIndex();
    if (drivesAnOutput(entry)) record_.actuator[entry].releaseRequest = 1;
    event->accept();
}
