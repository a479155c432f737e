#pragma once
// The common shape of the two reset confirmations: a few lines of text, "Да"
// and "Нет". The answer goes, once, to whoever opened the dialog (the
// actuator window, which comes back with its "Вкл" / "Выкл" captions);
// closing the dialog any other way counts as "Нет", so the hidden actuator
// window always comes back.

#include <QDialog>
#include <QStringList>
#include <functional>

#include "app/record/live_record.h"

class QLabel;
class QToolButton;

class ConfirmationDialog : public QDialog {
    Q_OBJECT
public:
    QToolButton* speedButton(int n) const { return n == 1 ? SpeedButton1 : SpeedButton2; }
    QLabel* label(int n) const { return labels_.value(n - 1); }

    // Every way of closing ends here; anything but "Да" counts as "Нет".
    void done(int result) override;

public slots:
    void SpeedButton1Click();  // "Да"
    void SpeedButton2Click();  // "Нет"

protected:
    // `onAnswer(yes)` hears the first answer.
    ConfirmationDialog(m797::LiveRecord& record, std::function<void(bool yes)> onAnswer, const QString& caption,
                       const QStringList& lines);

    m797::LiveRecord& record_;

private:
    void answer(bool yes);

    std::function<void(bool yes)> onAnswer_;
    bool answered_ = false;
    QList<QLabel*> labels_;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
};
