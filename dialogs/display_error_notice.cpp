#include "dialogs/display_error_notice.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QTimer>

#include "app/shell/screen_notice.h"
#include "dialogs/dialog_helpers.h"

TForm8::TForm8(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Ошибка вывода на экран."));
    dialogs::fixAndCentre(this, 402, 77);
    auto* panel = new QFrame(this);
    panel->setGeometry(0, 0, 402, 77);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    auto* image = new QLabel(panel);
    image->setGeometry(2, 2, 398, 73);
    image->setPixmap(QPixmap(QStringLiteral(":/resources/display_notice.png")));
    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);  // a coarse timer may end up to 5 % early
    connect(Timer1, &QTimer::timeout, this, &TForm8::Timer1Timer);
    Timer1->start(4000);
    show();
}

// exit, not quit: quitting would close the hidden main window, whose close
// handler saves the colours; the notice ends the program without that. The
// status is not 0: the program did not do its job.
void TForm8::Timer1Timer() { QCoreApplication::exit(m797::kExitScreenNotSuited); }

void TForm8::closeEvent(QCloseEvent* event) {
    QDialog::closeEvent(event);
    QCoreApplication::exit(m797::kExitScreenNotSuited);
}
