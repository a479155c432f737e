#pragma once
// TForm5, the actuator window: one list entry at a time is under test (its
// state re-read every poll cycle); "Вкл"/"Выкл" force it on or off, or step
// the set value of the three idle-control actuators. Leaving an entry, by
// choosing another or closing the window, releases it to the control unit.

#include <QDialog>
#include <QPointer>

#include "app/record/live_record.h"
#include "ecu/actuator_session.h"

class QComboBox;
class QLabel;
class QTimer;
class QToolButton;
class ConfirmationDialog;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` takes no input while this is open (its opener blocks it);
    // closing this gives the input back.
    TForm5(m797::LiveRecord& record, QWidget* mainWindow);

    QComboBox* comboBox() const { return ComboBox1; }
    QLabel* statePanel() const { return Panel2; }
    QToolButton* speedButton(int n) const { return n == 1 ? SpeedButton1 : SpeedButton2; }
    QTimer* timer() const { return Timer1; }
    int previousEntry() const { return session_.selected(); }
    m797::ActuatorSession& session() { return session_; }

    // The confirmation dialogs hand the window back with these captions.
    void setOnOffCaptions();
    // Every way of closing ends here (buttons, Escape, the window manager,
    // the main window ending), and the close behaviour runs once: an open
    // confirmation closes as "Нет", the commands not yet sent are withdrawn,
    // the entry under test is released, the main window enabled.
    void done(int result) override;

public slots:
    void ComboBox1Change(int entry);
    void SpeedButton1Click();  // "Вкл" and its variants
    void SpeedButton2Click();  // "Выкл" and its variants
    void Timer1Timer();

private:
    void showCaptions(int entry);
    QString stateShown(int entry) const;
    void openConfirmation(int entry);
    // A confirmation's answer goes through the session (a window already
    // closing raises nothing) and brings the window back.
    void confirmationAnswered(m797::ActuatorSession::Confirmation kind, bool yes);
    void FormClose();

    m797::LiveRecord& record_;
    QWidget* mainWindow_;
    m797::ActuatorSession session_;
    QPointer<ConfirmationDialog> confirmation_;

    QComboBox* ComboBox1 = nullptr;
    QLabel* Panel2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QTimer* Timer1 = nullptr;
};
