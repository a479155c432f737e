#pragma once
// TForm4, the error list: the trouble codes of the latest answer with their
// texts and status icons, refreshed every 500 ms from a copy of dtcResponse;
// "Сброс" asks the acquisition thread to clear the codes; the list empties
// once the control unit has confirmed it, and closing the list withdraws a
// clear not yet sent.

#include <QDialog>
#include <cstdint>

#include "app/record/live_record.h"

class QLabel;
class QTableWidget;
class QTimer;
class QToolButton;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` takes no input while this is open (its opener blocks it);
    // closing this gives the input back.
    TForm4(m797::LiveRecord& record, QWidget* mainWindow);

    QTableWidget* grid() const { return StringGrid1; }
    QLabel* countLabel() const { return Label2; }
    QLabel* countCaption() const { return Label1; }
    QTimer* timer() const { return Timer1; }
    QToolButton* speedButton(int n) const { return n == 1 ? SpeedButton1 : SpeedButton2; }

    // Every way of closing ends here (buttons, Escape, the window manager,
    // the main window ending); the close behaviour runs once.
    void done(int result) override;

public slots:
    void Timer1Timer();
    void SpeedButton1Click();  // "Сброс"
    void SpeedButton2Click();  // "Выход"

private:
    void FormClose();

    void buildGrid();
    void buildLegend();
    void buildCommandRow();
    void showRows();
    void showNoList();

    m797::LiveRecord& record_;
    QWidget* mainWindow_;
    std::uint8_t buffer_[m797::kDtcResponseSize] = {};
    m797::TroubleCodeAnswer answer_ = m797::TroubleCodeAnswer::NotRead;
    std::uint8_t refusalCode_ = 0;
    bool closed_ = false;

    QTableWidget* StringGrid1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QTimer* Timer1 = nullptr;
};
