#pragma once
// TForm8: shown instead of the main window on a screen that is not 1024
// pixels wide; ends the program 4 seconds after it appears, or when closed.

#include <QDialog>

class QTimer;

class TForm8 : public QDialog {
    Q_OBJECT
public:
    explicit TForm8(QWidget* parent = nullptr);
    QTimer* timer() const { return Timer1; }

public slots:
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    static constexpr int kExposeWaitMs = 2000;
    void paintNow();

    QTimer* Timer1 = nullptr;
};
