#include "dialogs/double_bevel_panel.h"

#include <qdrawutil.h>
#include <QPainter>

DoubleBevelPanel::DoubleBevelPanel(QWidget* parent, QRect geometry) : QFrame(parent) {
    setGeometry(geometry);
    setFrameStyle(QFrame::NoFrame);
    // Children and texts keep inside the bevels.
    setContentsMargins(kBevelWidth, kBevelWidth, kBevelWidth, kBevelWidth);
    setAutoFillBackground(true);
}

void DoubleBevelPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Lowered outer: dark above and left, light below and right; the raised
    // inner bevel the other way round.
    qDrawShadePanel(&painter, rect(), palette(), true, 1);
    qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
}
