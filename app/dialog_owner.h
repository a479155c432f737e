#pragma once
// Makes every dialog and message box of the program belong to the main
// window: transient for it (so no window manager raises the main window over
// an open dialog, which would then seem to freeze the program) and opened
// centred on it rather than on the screen. Installed once on the
// application; it sees each window just before the window system shows it.

#include <QObject>
#include <QPointer>

class QWidget;

class DialogOwner : public QObject {
public:
    explicit DialogOwner(QWidget& mainWindow);
    ~DialogOwner() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void adopt(QWidget& dialog);
    void centreOnMain(QWidget& dialog) const;

    QPointer<QWidget> main_;
};
