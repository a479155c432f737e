#include "dialogs/actuator_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/ecu_init_dialog.h"
#include "dialogs/ecu_reset_dialog.h"
#include "dialogs/input_block.h"
#include "ecu/forced_output_notice.h"
#include "ecu/request_table.h"

namespace {

constexpr int kFirstIdleEntry = m797::kFirstIdleControlEntry;

bool drivesAnOutput(int entry) { return entry >= 0 && entry < m797::kActuatorEntries; }
bool isIdleControl(int entry) { return entry >= kFirstIdleEntry && entry < m797::kActuatorEntries; }

// Idle-control entries 12..14: button captions, and the factor and unit text
// of the shown value (the limits are the session's).
struct IdleControl {
    const char* up;
    const char* down;
    int shownFactor;
    const char* unit;
};
constexpr IdleControl kIdleControls[3] = {
    {"+1 шаг", "-1 шаг", 1, "  Шаг"}, {"+10 об", "-10 об", 10, "   Об."}, {"+1", "-1", 1, " %"}};

const IdleControl& idleControl(int entry) { return kIdleControls[entry - kFirstIdleEntry]; }

}  // namespace

TForm5::TForm5(m797::LiveRecord& record, QWidget* mainWindow)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      record_(record),
      mainWindow_(mainWindow),
      session_(record) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Управление"));
    setFont(m797::dialogs::windowFont());
    m797::dialogs::fixAndCentre(this, 201, 113);
    auto* group = new QGroupBox(QStringLiteral("Управление"), this);
    group->setGeometry(4, 0, 193, 52);
    ComboBox1 = new QComboBox(group);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 20, 177, 22);
    for (int e = 0; e < m797::kActuatorListEntries; ++e)
        ComboBox1->addItem(QString::fromUtf8(m797::actuatorEntryName(e)));
    ComboBox1->setMaxVisibleItems(17);
    ComboBox1->setCurrentIndex(0);
    Panel2 = new QLabel(QStringLiteral("Выл"), this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(4, 56, 193, 22);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setAlignment(Qt::AlignCenter);
    SpeedButton1 = m797::dialogs::buttonAt(this, QStringLiteral("SpeedButton1"), QString(), {4, 84, 94, 24});
    SpeedButton2 = m797::dialogs::buttonAt(this, QStringLiteral("SpeedButton2"), QString(), {103, 84, 94, 24});
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
    session_.select(entry);
    if (drivesAnOutput(entry)) showCaptions(entry);
    if (entry == m797::kEcuResetEntry || entry == m797::kEcuInitEntry) openConfirmation(entry);
}

void TForm5::showCaptions(int entry) {
    if (isIdleControl(entry)) {
        const IdleControl& idle = idleControl(entry);
        SpeedButton1->setText(QString::fromUtf8(idle.up));
        SpeedButton2->setText(QString::fromUtf8(idle.down));
    } else {
        setOnOffCaptions();
    }
}

void TForm5::openConfirmation(int entry) {
    using Confirmation = m797::ActuatorSession::Confirmation;
    const Confirmation kind = entry == m797::kEcuResetEntry ? Confirmation::Reset : Confirmation::Init;
    auto onAnswer = [window = QPointer<TForm5>(this), kind](bool yes) {
        if (window) window->confirmationAnswered(kind, yes);
    };
    if (kind == Confirmation::Reset)
        confirmation_ = new TForm6(record_, onAnswer);
    else
        confirmation_ = new TForm7(record_, onAnswer);
    hide();
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->setCurrentIndex(session_.selected());
}

void TForm5::confirmationAnswered(m797::ActuatorSession::Confirmation kind, bool yes) {
    if (session_.isClosed()) return;
    session_.confirmationClosed(kind, yes);
    setOnOffCaptions();
    show();
}

void TForm5::SpeedButton1Click() { session_.pressUp(); }

void TForm5::SpeedButton2Click() { session_.pressDown(); }

void TForm5::Timer1Timer() {
    const int entry = ComboBox1->currentIndex();
    if (!drivesAnOutput(entry)) return;
    session_.refresh();
    if (!session_.selectedUnderTest()) {
        Panel2->clear();  // nothing is read of an entry that is not under test
        return;
    }
    Panel2->setText(stateShown(entry));
}

// What the state panel shows of the entry, read under the lock; the widget
// is set after it is released.
QString TForm5::stateShown(int entry) const {
    std::int32_t shownValue = 0;
    m797::Text stateText;
    {
        const m797::RecordLock held(record_);
        shownValue = record_.actuator[entry].shownValue;
        stateText = record_.actuator[entry].stateText;
    }
    // An idle-control value the control unit refused or did not answer shows as such.
    if (!isIdleControl(entry) || !stateText.empty()) return QString::fromStdString(m797::cp1251ToUtf8(stateText));
    const IdleControl& idle = idleControl(entry);
    return QString::number(shownValue * idle.shownFactor) + QString::fromUtf8(idle.unit);
}

void TForm5::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TForm5::FormClose() {
    if (session_.isClosed()) return;
    // First, so that the confirmation's "Нет" does not bring this window back.
    session_.close();
    if (confirmation_) confirmation_->done(QDialog::Rejected);
    m797::dialogs::setInputBlocked(mainWindow_, false);
    Timer1->stop();
}
