#pragma once
// TForm1, the main window: owns the live-data record, creates the acquisition
// thread, carries the seven drawing panels, the twelve parameter-set buttons
// and the command bar, and runs the 30 ms display clock.

#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "app/record/live_record.h"
#include "app/shell/csv_log.h"
#include "display/panel_snapshot.h"
#include "glpanel/opengl_panel.h"
#include "settings/window_settings.h"

class QFrame;
class QLabel;
class BackgroundPicture;
class QTimer;
class QToolButton;
class QButtonGroup;

namespace m797 {
class Com_Port;
struct LinkEvent;
class LineClock;
class SerialLine;
}  // namespace m797

class TForm8;

// The end could not confirm the release of a switched output.
constexpr int kExitOutputMayBeForced = 5;

struct StartOptions {
    bool ignoreScreenWidth = false;
    // Makes the serial line the acquisition thread talks through.
    std::function<std::unique_ptr<m797::SerialLine>()> makeLine;
    // CSV log of the live data; empty: no log.
    std::string logPath;
    // The session's time as the line knows it, for the log's rows (called
    // after makeLine); none: the log keeps its own time.
    std::function<const m797::LineClock*()> lineClock;
    // The port in use: the device as the settings window marks it, the
    // status strip's short name and the full name with why it was chosen
    // (UTF-8, the strip's tooltip). Empty: "Com1", as the strip always said.
    std::string portDevice;
    std::string portShortName;
    std::string portDescription;
    // The line can wait for the log's writer (a replay): no row is lost.
    bool logSourceCanWait = false;
    // At "Старт", for a run whose command line named no port: the port to
    // use from now on when it is no longer the one in use (a pick on the
    // "Com Port" page, an adapter plugged in since); none keeps the line.
    struct Port {
        std::string device, shortName, description;
    };
    std::function<std::optional<Port>()> portAtStart;
    // Then, once the old line is closed, readies the link for that port
    // (makeLine makes its line); a UTF-8 message when it could not.
    std::function<std::string()> switchToPortAtStart;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(StartOptions options, QWidget* parent = nullptr);
    ~TForm1() override;

    // After construction: loads the settings and refreshes the window.
    void FormCreate();
    // Whether construction decided to show the window (the screen suits).
    bool visibleAtStart() const { return visibleAtStart_; }
    bool threadCreated() const { return acquisitionThread_ != nullptr; }

    m797::LiveRecord& record() { return record_; }
    m797::Com_Port* acquisitionThread() { return acquisitionThread_.get(); }
    // Told of every status of the link, on the acquisition thread: this
    // thread's and that of a later port (see StartOptions::portAtStart).
    void setLinkStatusObserver(std::function<void(const m797::LinkEvent&)> observer);
    TOpenGLPanel* panel(int n) const { return panels_[n - 1]; }
    QToolButton* speedButton(int n) const { return speedButtons_[n - 1]; }
    QTimer* displayClock() const { return clock_; }
    TForm8* displayErrorNotice() const { return notice_; }
    QWidget* portFailureMessage() const { return portFailure_; }
    // The per-user settings file and its error box (tests may redirect both
    // before FormCreate).
    WindowSettings& settings() { return settings_; }
    // Shows the notice of outputs left forced at the end (a message box;
    // tests may replace it).
    void setForcedOutputNotice(std::function<void(const QString&)> show) { showForcedOutputs_ = std::move(show); }
    // The end when the display has gone and no window may be touched (Qt
    // ends the process from inside): withdraws the windows' commands, saves
    // the colour scheme, releases the outputs and stops the thread. Returns
    // the exit status (0, or kExitOutputMayBeForced). After an orderly end
    // (or part of one) it does only what is left and gives its status.
    int endWithoutDisplay();

public slots:
    void SpeedButton1Click();   // "Старт"
    void SpeedButton2Click();   // "Стоп"
    void SpeedButton3Click();   // "Настройка"
    void SpeedButton16Click();  // "Управление"
    void SpeedButton17Click();  // "Ошибки"
    void SpeedButton18Click();  // "Выход"
    // The one way the program ends: "Выход", the window manager's close and
    // the stop signals. Closes the open windows (each runs its close
    // behaviour), saves the colour scheme, stops the clock, releases the
    // outputs under test (connecting if it must, at most 2 s), stops and
    // joins the thread, closes the port and leaves the event loop with 0.
    // An output whose release the control unit never confirmed is named on
    // stderr and in a message box, and the event loop ends with
    // kExitOutputMayBeForced.
    void endProgram();
    // The same for a stop signal: the notice goes to stderr only, as nobody
    // may be at the window.
    void endOnSignal(int signalNumber);
    void parameterSetClicked(int setNumber);  // SpeedButton4Click .. SpeedButton15Click
    // The acquisition thread gave up on the link: "Старт" on, "Стоп" off.
    void acquisitionGaveUp();
    // A replayed trace has run out: nothing more to start or stop.
    void acquisitionEnded();
    // Why the port did not open, in a message that stays until read; a
    // newer one replaces it. The strip keeps its short status text.
    void showPortFailure(const QString& message);
    void displayTick();
    void OpenGLPanelInit(int n);   // OpenGLPanel1Init .. OpenGLPanel7Init
    void OpenGLPanelPaint(int n);  // OpenGLPanel1Paint .. OpenGLPanel7Paint

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    void buildControls();
    void buildParameterSetPanel();
    void buildCommandBar();
    QToolButton* makeButton(QWidget* parent, int number, const QString& caption, QRect geometry);
    void SaveColourScheme();
    bool createAcquisition();
    void switchPort(const StartOptions::Port& next);
    // Opens the CSV log; a path that cannot be written is reported and the
    // program runs without logging.
    void startLogging();
    void attachLog();
    // The port's short name on the strip and its full name as a tooltip.
    void showPortInUse();
    void showProblem(const QString& message);
    // Stops and joins the acquisition thread and closes the port.
    void shutdownAcquisition();
    void endWith(bool tellInWindow);
    // Releases what is under test, stops the thread and says on stderr which
    // outputs the control unit did not confirm released; the exit status.
    int releaseAndStop(QString* notice);
    // Closes every window opened from here, each through its own close path.
    void openDialog(QWidget* dialog);
    void closeOpenWindows();

    // 520 KB: on the heap, like every record.
    std::unique_ptr<m797::LiveRecord> ownedRecord_ = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record_ = *ownedRecord_;
    StartOptions options_;
    m797::CsvLog csvLog_;  // written by the acquisition thread only
    std::unique_ptr<m797::Com_Port> acquisitionThread_;
    std::function<void(const m797::LinkEvent&)> linkStatusObserver_;
    bool visibleAtStart_ = true;
    bool ending_ = false;
    std::function<void(const QString&)> showForcedOutputs_;
    std::optional<int> endStatus_;          // once the thread has stopped at the end
    QList<QPointer<QWidget>> openWindows_;  // the dialogs opened from the command bar

    BackgroundPicture* Image1 = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* labels_[6] = {};
    TOpenGLPanel* panels_[7] = {};
    m797::PanelSnapshot snapshots_[7];  // what each panel keeps of its picture
    QToolButton* speedButtons_[19] = {};
    QButtonGroup* parameterSets_ = nullptr;
    QTimer* clock_ = nullptr;
    TForm8* notice_ = nullptr;
    QPointer<QWidget> portFailure_;
    WindowSettings settings_;
};

// The process-wide main window, reached by the other windows.
extern TForm1* Form1;
