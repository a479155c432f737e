#include "dialogs/display_error_notice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "app/shell/screen_notice.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/double_bevel_panel.h"

TForm8::TForm8(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Ошибка вывода на экран."));
    m797::dialogs::fixAndCentre(this, 402, 77);
    auto* panel = new DoubleBevelPanel(this, {0, 0, 402, 77});
    panel->setObjectName(QStringLiteral("Panel1"));
    auto* image = new QLabel(panel);
    image->setGeometry(2, 2, 398, 73);
    image->setPixmap(QPixmap(QStringLiteral(":/resources/display_notice.png")));
    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);  // a coarse timer may end up to 5 % early
    connect(Timer1, &QTimer::timeout, this, &TForm8::Timer1Timer);
    Timer1->start(4000);
    show();
    paintNow();
}

// The main window goes on building its panels before the event loop runs;
// without this the notice would stay blank on screen all that time. The
// window is painted as soon as the window system has put it up.
void TForm8::paintNow() {
    QWindow* window = windowHandle();
    QElapsedTimer waited;
    waited.start();
    while (window && !window->isExposed() && waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(1);
    }
    repaint();
    // Hands the painted picture to the window system now, not at the next loop.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// exit, not quit: quitting would close the hidden main window, whose close
// handler saves the colours; the notice ends the program without that. The
// status is not 0: the program did not do its job.
void TForm8::Timer1Timer() { QCoreApplication::exit(m797::kExitScreenNotSuited); }

void TForm8::closeEvent(QCloseEvent* event) {
    QDialog::closeEvent(event);
    QCoreApplication::exit(m797::kExitScreenNotSuited);
}
