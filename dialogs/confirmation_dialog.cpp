#include "dialogs/confirmation_dialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QToolButton>

#include "dialogs/actuator_window.h"
#include "dialogs/dialog_helpers.h"

ConfirmationDialog::ConfirmationDialog(m797::LiveRecord& record, TForm5* actuatorWindow,
                                       const QString& caption, const QStringList& lines)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), record_(record),
      actuatorWindow_(actuatorWindow) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    setFont(dialogs::windowFont());
    dialogs::fixAndCentre(this, 201, 113);
    for (int i = 0; i < lines.size(); ++i) {
        QLabel* l = dialogs::labelAt(this, lines[i], 8, 6 + 16 * i);
        l->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        labels_.append(l);
    }
    SpeedButton1 = dialogs::buttonAt(this, QStringLiteral("SpeedButton1"), QStringLiteral("Да"),
                                     {16, 84, 77, 22});
    SpeedButton2 = dialogs::buttonAt(this, QStringLiteral("SpeedButton2"), QStringLiteral("Нет"),
                                     {108, 84, 77, 22});
    connect(SpeedButton1, &QToolButton::clicked, this, &ConfirmationDialog::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &ConfirmationDialog::SpeedButton2Click);
    show();
}

void ConfirmationDialog::SpeedButton1Click() {
    if (answered_) return;
    answered_ = true;
    confirmedRequest() = 1;
    // The actuator window's selection is back on entry 0, now under test again.
    record_.actuator[0].reportRequest = 1;
    returnToActuatorWindow();
    close();
}

void ConfirmationDialog::SpeedButton2Click() {
    if (answered_) return;
    answered_ = true;
    returnToActuatorWindow();
    close();
}

void ConfirmationDialog::returnToActuatorWindow() {
    if (!actuatorWindow_) return;
    actuatorWindow_->setOnOffCaptions();
    actuatorWindow_->show();
}

void ConfirmationDialog::closeEvent(QCloseEvent* event) {
    if (!answered_) {
        answered_ = true;
        returnToActuatorWindow();
    }
    event->accept();
}
