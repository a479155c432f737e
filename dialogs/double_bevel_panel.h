#pragma once
// A panel framed by two 1-pixel bevels: a lowered outer one and a raised
// inner one (QFrame draws only one), filled with the palette's window colour.

#include <QFrame>

class DoubleBevelPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int kBevelWidth = 2;  // both bevels together
    explicit DoubleBevelPanel(QWidget* parent, QRect geometry);

protected:
    void paintEvent(QPaintEvent* event) override;
};
