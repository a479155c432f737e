#pragma once
// The common shape of the two reset confirmations: a few lines of text, "Да"
// and "Нет". Either answer hands the actuator window back with its "Вкл" /
// "Выкл" captions; closing the dialog any other way counts as "Нет", so the
// hidden actuator window always comes back.

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include "app/live_record.h"

class QLabel;
class QToolButton;
class TForm5;

class ConfirmationDialog : public QDialog {
    Q_OBJECT
public:
    QToolButton* speedButton(int n) const { return n == 1 ? SpeedButton1 : SpeedButton2; }
    QLabel* label(int n) const { return labels_.value(n - 1); }

public slots:
    void SpeedButton1Click();  // "Да"
    void SpeedButton2Click();  // "Нет"

protected:
    ConfirmationDialog(m797::LiveRecord& record, TForm5* actuatorWindow, const QString& caption,
                       const QStringList& lines);
    // The request that "Да" raises.
    virtual std::atomic<std::uint8_t>& confirmedRequest() = 0;
    void closeEvent(QCloseEvent* event) override;

    m797::LiveRecord& record_;

private:
    void returnToActuatorWindow();

    QPointer<TForm5> actuatorWindow_;
    bool answered_ = false;
    QList<QLabel*> labels_;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
};
