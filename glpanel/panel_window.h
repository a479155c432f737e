#pragma once
// The native child window a TOpenGLPanel presents from: a QWindow of surface
// type OpenGL that the panel embeds with QWidget::createWindowContainer. The
// X server shows its buffer as it is, so a frame costs its own drawing and
// one buffer swap; nothing composes the top-level window again.
//
// It only reports what happens to it; the panel does the work.

#include <QPoint>
#include <QString>
#include <QWindow>
#include <functional>

class PanelWindow : public QWindow {
    Q_OBJECT
public:
    PanelWindow();

    std::function<void()> surfaceCreated;    // the native window exists
    std::function<void()> surfaceGoing;      // ... and is about to go
    std::function<void()> resized;           // new size, context may be made current
    std::function<void(bool forced)> paint;  // forced: the shown picture was lost (expose)
    std::function<void(QPoint global)> contextMenu;
    // The tooltip at a point of the window; empty: none there.
    std::function<QString(QPoint local)> toolTipAt;

    // The frame on screen is the last one swapped: no expose since.
    bool frameOnScreen() const { return frameOnScreen_; }
    void framePresented() { frameOnScreen_ = true; }

protected:
    bool event(QEvent* e) override;
    void exposeEvent(QExposeEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    bool frameOnScreen_ = false;
};
