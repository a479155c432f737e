#pragma once
// TForm5, the actuator window: one list entry at a time is under test (its
// state re-read every poll cycle); "Вкл"/"Выкл" force it on or off, or step
// the set value of the three idle-control actuators. Leaving an entry, by
// choosing another or closing the window, releases it to the control unit.

#include <QDialog>

#include "app/live_record.h"

class QComboBox;
class QLabel;
class QTimer;
class QToolButton;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` is disabled by its opener and enabled again when this closes.
    TForm5(m797::LiveRecord& record, QWidget* mainWindow);

    QComboBox* comboBox() const { return ComboBox1; }
    QLabel* statePanel() const { return Panel2; }
    QToolButton* speedButton(int n) const { return n == 1 ? SpeedButton1 : SpeedButton2; }
    QTimer* timer() const { return Timer1; }
    int previousEntry() const { return previousEntry_; }

    // The confirmation dialogs hand the window back with these captions.
    void setOnOffCaptions();

public slots:
    void ComboBox1Change(int entry);
    void SpeedButton1Click();  // "Вкл" and its variants
    void SpeedButton2Click();  // "Выкл" and its variants
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    void selectForTest(int entry);
    void openConfirmation(int entry);
    void stepSetValue(int entry, int step);
    void keepUnderTest(int entry);
    void rearmReport(int entry);

    m797::LiveRecord& record_;
    QWidget* mainWindow_;
    int previousEntry_ = 0;
    // Whether the selected entry is meant to be under test (not after a
    // confirmation answered "Нет" until a button forces it).
    bool selectedUnderTest_ = true;

    QComboBox* ComboBox1 = nullptr;
    QLabel* Panel2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QTimer* Timer1 = nullptr;
};
