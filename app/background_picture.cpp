#include "app/background_picture.h"

#include <QPaintEvent>
#include <QPainter>

BackgroundPicture::BackgroundPicture(const QImage& picture, const QRegion& hidden, QWidget* parent)
    : QWidget(parent), hidden_(hidden) {
    resize(picture.size());
    const QImage opaque = picture.convertToFormat(QImage::Format_RGB32);
    for (const QRect& r : QRegion(opaque.rect()).subtracted(hidden))
        pieces_.push_back({r.topLeft(), opaque.copy(r)});
    setAttribute(Qt::WA_OpaquePaintEvent);
}

qsizetype BackgroundPicture::keptBytes() const {
    qsizetype n = 0;
    for (const Piece& p : pieces_) n += p.image.sizeInBytes();
    return n;
}

void BackgroundPicture::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const Piece& p : pieces_) {
        const QRect place(p.at, p.image.size());
        if (event->region().intersects(place)) painter.drawImage(p.at, p.image);
    }
    for (const QRect& r : hidden_.intersected(event->region())) painter.fillRect(r, Qt::black);
}
