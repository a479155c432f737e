#include "app/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <utility>

#include "app/background_picture.h"
#include "app/dialog_owner.h"
#include "app/record/cp1251.h"
#include "app/record/display_clock.h"
#include "app/screen_width.h"
#include "dialogs/actuator_window.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/display_error_notice.h"
#include "dialogs/double_bevel_panel.h"
#include "dialogs/error_list.h"
#include "dialogs/input_block.h"
#include "display/chart_panel.h"
#include "display/opengl_panel_surface.h"
#include "display/panel_init.h"
#include "display/passport_panel.h"
#include "display/status_strip_panel.h"
#include "ecu/actuator_session.h"
#include "ecu/com_port.h"
#include "ecu/forced_output_notice.h"
#include "ecu/serial_line.h"
#include "settings/settings_dialog.h"
#include "settings/store/settings_operations.h"

TForm1* Form1 = nullptr;

// The pictures live in a static library: register them before the first use.
static void registerResources() { Q_INIT_RESOURCE(resources); }

namespace {

// Settings problems at an end without a display go to the terminal.
struct StderrSettingsReporter : m797::SettingsReporter {
    void showMessage(const std::string& utf8) override { std::fprintf(stderr, "m797diag: %s\n", utf8.c_str()); }
};

const QColor kNavy(0, 0, 128);
const QColor kRed(255, 0, 0);
const QColor kPanelColour(226, 229, 234);

struct PanelPlace {
    int left, top, width, height;
};
// OpenGLPanel1..OpenGLPanel7
constexpr PanelPlace kPanelPlaces[7] = {{23, 15, 750, 115},  {23, 146, 750, 115}, {23, 277, 750, 115},
                                        {23, 408, 750, 115}, {23, 539, 750, 115}, {23, 674, 750, 49},
                                        {807, 324, 193, 401}};

struct CommandButton {
    int number;
    const char* caption;
    int left, top;
    bool red;
};
constexpr CommandButton kCommandBar[] = {{16, "Управление", 8, 8, false}, {3, "Настройка", 104, 8, false},
                                         {17, "Ошибки", 8, 40, false},    {19, "О программе", 104, 40, false},
                                         {1, "Старт", 8, 72, true},       {2, "Стоп", 104, 72, true},
                                         {18, "Выход", 56, 104, false}};

// Caption colour of an enabled button; a disabled one keeps the greyed text.
void setCaptionColour(QToolButton* b, QColor colour) {
    QPalette pal = b->palette();
    pal.setColor(QPalette::Active, QPalette::ButtonText, colour);
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
    b->setPalette(pal);
}

QFrame* bevelledPanel(QWidget* parent, const QString& name, QRect geometry) {
    auto* p = new DoubleBevelPanel(parent, geometry);
    p->setObjectName(name);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, kPanelColour);
    p->setPalette(pal);
    return p;
}

QLabel* label(QWidget* parent, const QString& text, QPoint at, bool bold, QColor colour) {
    auto* l = new QLabel(text, parent);
    l->setFont(m797::dialogs::windowFont(bold));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->adjustSize();
    l->move(at);
    return l;
}

}  // namespace

TForm1::TForm1(StartOptions options, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint), options_(std::move(options)) {
    // The record (a member) already starts with empty texts, flat histories
    // and the flag mnemonics.
    Form1 = this;
    registerResources();
    setWindowTitle(QStringLiteral("m797diag"));
    if (!options_.ignoreScreenWidth && m797::primaryScreenWidth() != 1024) {
        notice_ = new TForm8();
        visibleAtStart_ = false;
    }
    setGeometry(0, 0, 1024, 740);
    setFixedSize(1024, 740);
    new DialogOwner(*this);
    buildControls();
    showPortInUse();
    if (createAcquisition()) startLogging();
    record_.tickPeriodMs = 30;
    clock_ = new QTimer(this);
    clock_->setTimerType(Qt::PreciseTimer);
    connect(clock_, &QTimer::timeout, this, &TForm1::displayTick);
}

TForm1::~TForm1() {
    closeOpenWindows();  // they hold the record, which ends with this window
    shutdownAcquisition();
    delete notice_;
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::buildControls() {
    QRegion panelPlaces;
    for (const PanelPlace& p : kPanelPlaces) panelPlaces += QRect(p.left, p.top, p.width, p.height);
    Image1 = new BackgroundPicture(QImage(QStringLiteral(":/resources/background.jpg")), panelPlaces, this);
    Image1->move(0, 0);
    // Fonts of OpenGLPanel1..OpenGLPanel7. All are double-buffered window
    // panels with OpenGL support (the panel's default flags).
    struct PanelFonts {
        bool font3D;  // "Arial" bold italic -11, Russian, glyphs 0..254, extrusion 0.1, polygons
        std::int32_t font2DHeight;
        bool font2DBold;  // "Arial", Russian, 255 glyphs from code 32
    };
    static constexpr PanelFonts kPanelFonts[7] = {{true, -11, false}, {true, -11, false}, {true, -11, false},
                                                  {true, -11, false}, {true, -11, false}, {false, -11, true},
                                                  {false, -12, false}};
    for (int i = 0; i < 7; ++i) {
        const PanelPlace& place = kPanelPlaces[i];
        const PanelFonts& p = kPanelFonts[i];
        auto* panel = new TOpenGLPanel(this);
        panel->setObjectName(QStringLiteral("OpenGLPanel%1").arg(i + 1));
        panel->setGeometry(place.left, place.top, place.width, place.height);
        if (p.font3D) {
            panel->Font3D_Enabled = true;
            panel->SetFont3DType({"Arial", -11, true, true, m797::gl::RUSSIAN_CHARSET});
            panel->Font3D_FirstGylph = 0;
            panel->Font3D_NumGylph = 255;
            panel->Font3D_Extrustion = 0.1f;
            panel->Font3D_MaxDeviation = 0.0f;
            panel->SetFont3DFormat(m797::gl::TFont3DFormat::f_WGL_FONT_POLYGONS);
        }
        panel->Font2D_Enabled = true;
        panel->SetFont({"Arial", p.font2DHeight, p.font2DBold, false, m797::gl::RUSSIAN_CHARSET});
        panel->Font2D_FirstGylph = 32;
        panel->Font2D_NumGylph = 255;
        panel->OnInit = [this, n = i + 1](TOpenGLPanel*) { OpenGLPanelInit(n); };
        panel->OnPaint = [this, n = i + 1](TOpenGLPanel*) { OpenGLPanelPaint(n); };
        panels_[i] = panel;
    }
    buildParameterSetPanel();
    buildCommandBar();
    labels_[3] = label(this, QStringLiteral("v 1. 1"), {920, 304}, true, Qt::black);
    labels_[4] = label(this, QStringLiteral("Win 9x"), {968, 304}, true, Qt::black);
    labels_[5] = label(this, QStringLiteral("m797diag@localhost"), {792, 304}, false, Qt::blue);
    labels_[0] = label(this, QString(), {816, 256}, true, Qt::black);
    labels_[1] = label(this, QString(), {864, 120}, false, Qt::black);
}

// OpenGLPanel1Init .. OpenGLPanel7Init: the same view for all seven; chart 3
// has never set the perspective-correction hint.
void TForm1::OpenGLPanelInit(int n) {
    m797::OpenGLPanelSurface surface(*panel(n));
    m797::initPanelView(surface, n != 3);
    snapshots_[n - 1].forget();
}

// OpenGLPanel1Paint .. OpenGLPanel5Paint draw charts 1 to 5, OpenGLPanel6Paint
// the status strip, OpenGLPanel7Paint the passport.
void TForm1::OpenGLPanelPaint(int n) {
    m797::OpenGLPanelSurface surface(*panel(n));
    if (n <= 5)
        m797::paintChart(surface, record_, record_.selectedParameters[n - 1], snapshots_[n - 1]);
    else if (n == 6)
        m797::paintStatusStrip(surface, record_, snapshots_[5]);
    else
        m797::paintPassport(surface, record_, snapshots_[6]);
}

QToolButton* TForm1::makeButton(QWidget* parent, int number, const QString& caption, QRect geometry) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QStringLiteral("SpeedButton%1").arg(number));
    b->setText(caption);
    b->setGeometry(geometry);
    b->setFont(m797::dialogs::windowFont(true));
    b->setAutoRaise(false);
    speedButtons_[number - 1] = b;
    return b;
}

void TForm1::buildParameterSetPanel() {
    Panel1 = bevelledPanel(this, QStringLiteral("Panel1"), {808, 16, 201, 73});
    labels_[2] = label(Panel1, QStringLiteral("Наборы параметров"), {40, 5}, true, kRed);
    parameterSets_ = new QButtonGroup(this);
    parameterSets_->setExclusive(true);
    constexpr int xs[6] = {8, 40, 72, 104, 136, 168};
    for (int set = 1; set <= 12; ++set) {
        const int column = (set - 1) % 6;
        const bool last = set == 12;
        QRect place(xs[column], set <= 6 ? 24 : 48, last ? 25 : 23, last ? 18 : 17);
        QToolButton* b = makeButton(Panel1, set + 3, QString::number(set), place);
        b->setCheckable(true);
        setCaptionColour(b, kNavy);
        parameterSets_->addButton(b, set);
    }
    speedButtons_[3]->setChecked(true);
    connect(parameterSets_, &QButtonGroup::idClicked, this, &TForm1::parameterSetClicked);
}

void TForm1::buildCommandBar() {
    Panel2 = bevelledPanel(this, QStringLiteral("Panel2"), {808, 96, 201, 137});
    for (const CommandButton& c : kCommandBar) {
        QToolButton* b = makeButton(Panel2, c.number, QString::fromUtf8(c.caption), {c.left, c.top, 89, 22});
        setCaptionColour(b, c.red ? kRed : kNavy);
    }
    speedButton(2)->setEnabled(false);
    speedButton(19)->setEnabled(false);
    connect(speedButton(1), &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(speedButton(2), &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(speedButton(3), &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
    connect(speedButton(16), &QToolButton::clicked, this, &TForm1::SpeedButton16Click);
    connect(speedButton(17), &QToolButton::clicked, this, &TForm1::SpeedButton17Click);
    connect(speedButton(18), &QToolButton::clicked, this, &TForm1::SpeedButton18Click);
}

void TForm1::FormCreate() {
    m797::LoadSettingsAtStart(record_, settings_.file());
    update();
}

// The acquisition thread on a line made now, with the window's handlers.
bool TForm1::createAcquisition() {
    try {
        acquisitionThread_ = std::make_unique<m797::Com_Port>(record_,
                                                              options_.makeLine ? options_.makeLine() : nullptr);
    } catch (const std::exception&) {
        QMessageBox::critical(nullptr, QString(), QStringLiteral("Ошибка! Невозможно создать поток."));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return false;
    }
    acquisitionThread_->setGiveUpHandler(
        [this] { QMetaObject::invokeMethod(this, &TForm1::acquisitionGaveUp, Qt::QueuedConnection); });
    acquisitionThread_->setEndOfLineHandler(
        [this] { QMetaObject::invokeMethod(this, &TForm1::acquisitionEnded, Qt::QueuedConnection); });
    if (linkStatusObserver_) acquisitionThread_->setStatusObserver(linkStatusObserver_);
    return true;
}

void TForm1::setLinkStatusObserver(std::function<void(const m797::LinkEvent&)> observer) {
    linkStatusObserver_ = std::move(observer);
    if (acquisitionThread_) acquisitionThread_->setStatusObserver(linkStatusObserver_);
}

// "Старт" on another port: the thread of the old one hands back what it
// forced and ends, the link is readied for the new port, and a new thread
// takes it. The log goes on in the same file.
void TForm1::switchPort(const StartOptions::Port& next) {
    acquisitionThread_->terminate();
    acquisitionThread_.reset();
    const std::string failure = options_.switchToPortAtStart ? options_.switchToPortAtStart() : std::string();
    if (!failure.empty()) showProblem(QString::fromStdString(failure));
    options_.portDevice = next.device;
    options_.portShortName = next.shortName;
    options_.portDescription = next.description;
    showPortInUse();
    if (createAcquisition()) attachLog();
}

void TForm1::SpeedButton1Click() {
    if (acquisitionThread_ && options_.portAtStart) {
        if (const std::optional<StartOptions::Port> next = options_.portAtStart()) switchPort(*next);
    }
    if (acquisitionThread_) acquisitionThread_->resume();
    record_.timerId += 1;
    clock_->start(static_cast<int>(record_.tickPeriodMs));
    speedButton(1)->setEnabled(false);
    speedButton(2)->setEnabled(true);
}

void TForm1::SpeedButton2Click() {
    if (acquisitionThread_) acquisitionThread_->suspend();
    clock_->stop();
    speedButton(1)->setEnabled(true);
    speedButton(2)->setEnabled(false);
}

void TForm1::SpeedButton3Click() {
    auto repaintPanel = [this](int n) {
        if (QWidget* p = panel(n)) p->update();
    };
    auto* settingsWindow = new TForm3(record_, repaintPanel, *this, settings_.file());
    settingsWindow->setPortInUse(options_.portDevice);
    settingsWindow->setPickTakesEffectAtStart(static_cast<bool>(options_.portAtStart));
    openDialog(settingsWindow);
}

void TForm1::SpeedButton16Click() {
    openDialog(new TForm5(record_, this));
    record_.actuatorWindowOpen = 1;
    record_.actuator[0].reportRequest = 1;
}

void TForm1::SpeedButton17Click() {
    openDialog(new TForm4(record_, this));
    record_.readDtcRequest = 1;
}

// The window takes no input while the dialog is up; the dialog gives it back
// when it closes.
void TForm1::openDialog(QWidget* dialog) {
    openWindows_.append(dialog);
    m797::dialogs::setInputBlocked(this, true);
}

void TForm1::SpeedButton18Click() { endProgram(); }

void TForm1::closeEvent(QCloseEvent* event) {
    endProgram();
    event->accept();
}

void TForm1::endProgram() { endWith(true); }

void TForm1::endOnSignal(int) { endWith(false); }

void TForm1::endWith(bool tellInWindow) {
    if (ending_) return;
    ending_ = true;
    closeOpenWindows();
    SaveColourScheme();
    if (acquisitionThread_) acquisitionThread_->suspend();
    clock_->stop();
    QString notice;
    const int status = releaseAndStop(&notice);
    if (status != 0 && tellInWindow) {
        if (showForcedOutputs_)
            showForcedOutputs_(notice);
        else
            QMessageBox::warning(this, QStringLiteral("m797diag"), notice);
    }
    QCoreApplication::exit(status);
}

// Also when the display went away in the middle of an orderly end (a message
// box up): what that end has not done yet is done here.
int TForm1::endWithoutDisplay() {
    if (!ending_) {
        ending_ = true;
        m797::ActuatorSession::withdrawCommands(record_);  // as closing the windows would
        static StderrSettingsReporter toStderr;            // no message box without a display
        settings_.useReporter(&toStderr);
        SaveColourScheme();
    }
    if (!endStatus_) releaseAndStop(nullptr);
    return *endStatus_;
}

int TForm1::releaseAndStop(QString* notice) {
    m797::ActuatorSession::requestExitRelease(record_);
    shutdownAcquisition();
    const std::vector<int> left = m797::ActuatorSession::outputsLeftForced(record_);
    endStatus_ = left.empty() ? 0 : kExitOutputMayBeForced;
    if (left.empty()) return 0;
    for (int entry : left) std::fprintf(stderr, "m797diag: %s", m797::forcedOutputNotice({entry}).c_str());
    if (notice) *notice = QString::fromStdString(m797::forcedOutputNotice(left)).trimmed();
    return kExitOutputMayBeForced;
}

void TForm1::closeOpenWindows() {
    const QList<QPointer<QWidget>> windows = std::exchange(openWindows_, {});
    for (const QPointer<QWidget>& w : windows) {
        if (!w) continue;
        if (auto* dialog = qobject_cast<QDialog*>(w.data()))
            dialog->done(QDialog::Rejected);  // reached also by a hidden dialog
        else
            w->close();
    }
}

void TForm1::parameterSetClicked(int setNumber) {
    // No repaint: the charts show the new set from their next repaint.
    m797::LoadParameterSet(record_, settings_.file(), setNumber);
}

void TForm1::acquisitionGaveUp() {
    speedButton(1)->setEnabled(true);
    speedButton(2)->setEnabled(false);
}

void TForm1::showPortInUse() {
    if (options_.portShortName.empty()) return;
    {
        const m797::RecordWriteLock held(record_);
        record_.portText = m797::toCp1251(options_.portShortName);
    }
    // The strip's port name, right end of panel 6.
    constexpr int kPortFieldLeft = 705;
    const QString description = QString::fromStdString(options_.portDescription);
    panel(6)->setToolTipAt(
        [description](QPoint at) { return at.x() >= kPortFieldLeft ? description : QString(); });
}

void TForm1::showPortFailure(const QString& message) {
    if (!portFailure_) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("m797diag"), message, QMessageBox::Ok,
                                    this);
        box->setObjectName(QStringLiteral("PortFailure"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse);  // the command can be copied
        portFailure_ = box;
    }
    static_cast<QMessageBox*>(portFailure_.data())->setText(message);
    portFailure_->show();
    portFailure_->raise();
}

void TForm1::acquisitionEnded() {
    clock_->stop();
    speedButton(1)->setEnabled(false);
    speedButton(2)->setEnabled(false);
    panel(6)->update();  // the status strip shows "Конец записи."
}

void TForm1::displayTick() {
    // The button's own state: isEnabled() would also be false while the
    // window itself were disabled, and keep the clock running after a give-up.
    const m797::TickOutcome t = m797::displayTick(record_, speedButton(1)->isEnabledTo(this));
    if (t.killClock) clock_->stop();
    if (t.repaintLivePanels) {
        for (int n : {1, 2, 3, 4, 5, 7}) panel(n)->update();
    }
    panel(6)->update();
}

void TForm1::startLogging() {
    if (options_.logPath.empty()) return;
    const std::string error = csvLog_.open(options_.logPath);
    if (!error.empty()) {
        showProblem(QString::fromStdString(error));
        return;
    }
    if (!csvLog_.notice().empty()) showProblem(QString::fromStdString(csvLog_.notice()));
    csvLog_.letSourceWait(options_.logSourceCanWait);
    csvLog_.setFailureHandler([this](const std::string& problem) {
        const QString message = QString::fromStdString(problem);
        QMetaObject::invokeMethod(
            this, [this, message] { showProblem(message); }, Qt::QueuedConnection);
    });
    attachLog();
}

// The log takes the rows of the acquisition thread, timed by its line.
void TForm1::attachLog() {
    if (!csvLog_.isOpen()) return;
    if (options_.lineClock) csvLog_.useClock(options_.lineClock());
    // A replay waits for a log that falls behind here, not under the record's
    // lock, which the display needs every frame.
    acquisitionThread_->setBeforeCycleObserver(
        [this](const std::function<bool()>& stopAsked) { csvLog_.waitForRoom(stopAsked); });
    acquisitionThread_->setCycleObserver(
        [this](const m797::RecordLock& held, bool gotLiveData) { csvLog_.logCycle(held, gotLiveData); });
}

// The terminal gets the same words as the window.
void TForm1::showProblem(const QString& message) {
    std::fprintf(stderr, "m797diag: %s\n", message.toUtf8().constData());
    QMessageBox::warning(this, QStringLiteral("m797diag"), message);
}

void TForm1::SaveColourScheme() { m797::SaveColourScheme(record_, settings_.file()); }

void TForm1::shutdownAcquisition() {
    if (acquisitionThread_) acquisitionThread_->terminate();
    csvLog_.close();  // the last rows handed over reach the file
}
