#include "app/background_picture.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace {

// A picture whose every pixel differs from its neighbours, so a piece put
// back one pixel off shows.
QImage patterned(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x & 255, y & 255, (x * 7 + y * 13) & 255));
    return image;
}

// What shows is the picture itself outside the hidden places and black
// inside them; only the visible parts are kept.
TEST(BackgroundPicture, ShowsThePictureWhereVisibleAndKeepsOnlyThat) {
    const QImage picture = patterned({300, 200});
    QRegion hidden(QRect(20, 10, 150, 40));
    hidden += QRect(20, 60, 150, 40);
    hidden += QRect(200, 70, 60, 120);
    BackgroundPicture backdrop(picture, hidden, nullptr);
    const QImage shown = backdrop.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), picture.size());
    int visible = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const bool covered = hidden.contains(QPoint(x, y));
            ASSERT_EQ(shown.pixel(x, y), covered ? qRgb(0, 0, 0) : picture.pixel(x, y)) << x << "," << y;
            visible += !covered;
        }
    EXPECT_EQ(backdrop.keptBytes(), qsizetype(visible) * 4);
}

}  // namespace
