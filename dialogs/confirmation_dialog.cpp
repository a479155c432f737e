#include "dialogs/confirmation_dialog.h"

#include <QLabel>
#include <QToolButton>

#include "dialogs/dialog_helpers.h"

ConfirmationDialog::ConfirmationDialog(m797::LiveRecord& record, std::function<void(bool yes)> onAnswer,
                                       const QString& caption, const QStringList& lines)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      record_(record),
      onAnswer_(std::move(onAnswer)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    setFont(m797::dialogs::windowFont());
    m797::dialogs::fixAndCentre(this, 201, 113);
    for (int i = 0; i < lines.size(); ++i) {
        QLabel* l = m797::dialogs::labelAt(this, lines[i], 8, 6 + 16 * i);
        l->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        labels_.append(l);
    }
    SpeedButton1 = m797::dialogs::buttonAt(this, QStringLiteral("SpeedButton1"), QStringLiteral("Да"),
                                           {16, 84, 77, 22});
    SpeedButton2 = m797::dialogs::buttonAt(this, QStringLiteral("SpeedButton2"), QStringLiteral("Нет"),
                                           {108, 84, 77, 22});
    connect(SpeedButton1, &QToolButton::clicked, this, &ConfirmationDialog::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &ConfirmationDialog::SpeedButton2Click);
    show();
}

void ConfirmationDialog::SpeedButton1Click() {
    answer(true);
    close();
}

void ConfirmationDialog::SpeedButton2Click() {
    answer(false);
    close();
}

void ConfirmationDialog::done(int result) {
    answer(false);
    QDialog::done(result);
}

// The first answer counts.
void ConfirmationDialog::answer(bool yes) {
    if (answered_) return;
    answered_ = true;
    if (onAnswer_) onAnswer_(yes);
}
