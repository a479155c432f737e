#pragma once
// The common shape of the two reset confirmations: a few lines of text, "Да"
// and "Нет". Either answer hands the actuator window back with its "Вкл" /
// "Выкл" captions; closing the dialog any other way counts as "Нет", so the
// hidden actuator window always comes back.

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include "app/live_record.h"
#include "ecu/actuator_session.h"

class QLabel;
class QToolButton;
class TForm5;

class ConfirmationDialog : public QDialog {
    Q_OBJECT
public:
    QToolButton* speedButton(int n) const { return n == 1 ? SpeedButton1 : SpeedButton2; }
    QLabel* label(int n) const { return labels_.value(n - 1); }

    // Every way of closing ends here; anything but "Да" counts as "Нет", and
    // the actuator window comes back (unless it is closing itself).
    void done(int result) override;

public slots:
    void SpeedButton1Click();  // "Да"
    void SpeedButton2Click();  // "Нет"

protected:
    ConfirmationDialog(m797::LiveRecord& record, TForm5* actuatorWindow,
                       m797::ActuatorSession::Confirmation kind, const QString& caption,
                       const QStringList& lines);

    m797::LiveRecord& record_;

private:
    void answer(bool yes);

    QPointer<TForm5> actuatorWindow_;
    const m797::ActuatorSession::Confirmation kind_;
    bool answered_ = false;
    QList<QLabel*> labels_;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
};
