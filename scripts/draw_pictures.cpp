// Draws the main window's background, the display-error notice picture, the
// ten 21x21 status icons of the error list and the program's icon in the
// freedesktop hicolor sizes (resources/icons/) into resources/. Run by hand (scripts/draw_pictures.sh) when a
// picture changes; the program itself only loads the stored files.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

// Red lettering with a dark lower-right edge and a light upper-left edge.
void reliefText(QPainter& p, QRect box, const QString& text, int flags) {
    p.setPen(QColor(90, 0, 0));
    p.drawText(box.translated(1, 1), flags, text);
    p.setPen(QColor(255, 200, 200));
    p.drawText(box.translated(-1, -1), flags, text);
    p.setPen(QColor(200, 16, 16));
    p.drawText(box, flags, text);
}

// A black bay with a bevelled silver frame around a panel.
void bay(QPainter& p, QRect panel) {
    const QRect outer = panel.adjusted(-6, -6, 6, 6);
    QLinearGradient silver(outer.topLeft(), outer.bottomRight());
    silver.setColorAt(0.0, QColor(245, 245, 250));
    silver.setColorAt(0.5, QColor(170, 172, 180));
    silver.setColorAt(1.0, QColor(110, 112, 120));
    p.fillRect(outer, silver);
    p.fillRect(outer.adjusted(3, 3, -3, -3), QColor(120, 122, 130));
    p.fillRect(outer.adjusted(4, 4, -4, -4), QColor(235, 236, 240));
    p.fillRect(panel.adjusted(-2, -2, 2, 2), Qt::black);
}

QImage background() {
    QImage img(1024, 740, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient ground(0, 0, 0, 740);
    ground.setColorAt(0.0, QColor(196, 208, 222));
    ground.setColorAt(1.0, QColor(172, 186, 204));
    p.fillRect(img.rect(), ground);
    const QRect panels[7] = {{23, 15, 750, 115},  {23, 146, 750, 115}, {23, 277, 750, 115}, {23, 408, 750, 115},
                             {23, 539, 750, 115}, {23, 674, 750, 49},  {807, 324, 193, 401}};
    for (const QRect& r : panels) bay(p, r);
    QFont f("Liberation Sans");
    f.setPixelSize(22);
    f.setBold(true);
    f.setItalic(true);
    p.setFont(f);
    reliefText(p, QRect(790, 262, 230, 32), QStringLiteral("Bosch M7.9.7"), Qt::AlignCenter);
    return img;
}

QImage notice() {
    QImage img(398, 73, QImage::Format_RGB32);
    img.fill(QColor(192, 192, 192));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A small display with a tick on it.
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(40, 40, 60));
    p.drawRect(12, 16, 38, 28);
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(26, 44, 10, 6);
    p.drawRect(18, 50, 26, 4);
    p.setPen(QPen(QColor(0, 200, 0), 3));
    p.drawPolyline(QPolygon({QPoint(20, 30), QPoint(28, 38), QPoint(42, 22)}));
    QFont f("Liberation Sans");
    f.setPixelSize(18);
    f.setBold(true);
    p.setFont(f);
    reliefText(p, QRect(60, 8, 330, 28), QStringLiteral("Установите разрешение экрана"), Qt::AlignCenter);
    reliefText(p, QRect(60, 38, 330, 28), QStringLiteral("1024 на 768 точек !"), Qt::AlignCenter);
    return img;
}

// The error list's status icons, 21x21 on a white ground.
const QColor kIconRed(220, 0, 0);
const QColor kIconBlue(0, 60, 220);

void exclamation(QPainter& p, QColor colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRect(9, 3, 3, 11);
    p.drawRect(9, 16, 3, 3);
}

void letterT(QPainter& p, QColor colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRect(4, 3, 13, 3);
    p.drawRect(9, 3, 3, 15);
}

void lamp(QPainter& p) {
    p.setPen(QPen(kIconRed, 1));
    p.setBrush(kIconRed);
    p.drawEllipse(QRectF(6.5, 6.5, 8, 8));
    p.drawRect(8, 15, 5, 3);
    p.setBrush(Qt::NoBrush);
    const QLineF rays[] = {{10.5, 1, 10.5, 4},
                           {1, 10.5, 4, 10.5},
                           {17, 10.5, 20, 10.5},
                           {3.5, 3.5, 5.5, 5.5},
                           {17.5, 3.5, 15.5, 5.5}};
    for (const QLineF& r : rays) p.drawLine(r);
}

void steps(QPainter& p, bool up) {
    p.setPen(QPen(kIconRed, 2));
    const int low = 17, high = 4;
    const int a = up ? low : high, b = up ? high : low;
    p.drawPolyline(QPolygon({QPoint(2, a), QPoint(8, a), QPoint(8, (a + b) / 2), QPoint(13, (a + b) / 2),
                             QPoint(13, b), QPoint(19, b)}));
}

void brokenLine(QPainter& p) {
    p.setPen(QPen(kIconRed, 2));
    p.drawPolyline(
        QPolygon({QPoint(2, 10), QPoint(7, 10), QPoint(9, 4), QPoint(12, 17), QPoint(14, 10), QPoint(19, 10)}));
}

QImage statusIcon(int number) {
    QImage img(21, 21, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, number == 0);
    switch (number) {
    case 0: lamp(p); break;
    case 1: exclamation(p, kIconRed); break;
    case 2: exclamation(p, kIconBlue); break;
    case 3: p.fillRect(4, 9, 13, 3, kIconBlue); break;
    case 4: letterT(p, kIconRed); break;
    case 5: letterT(p, kIconBlue); break;
    case 6: steps(p, true); break;
    case 7: steps(p, false); break;
    case 8: brokenLine(p); break;
    default: break;  // 9: blank
    }
    return img;
}

// The program's icon: a black bay in a silver frame, as around the panels,
// with a grid and a trace in the default chart colours. Drawn on a 64-unit
// square, scaled to each size.
QImage programIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient silver(0, 0, 64, 64);
    silver.setColorAt(0.0, QColor(245, 245, 250));
    silver.setColorAt(0.5, QColor(170, 172, 180));
    silver.setColorAt(1.0, QColor(110, 112, 120));
    p.setPen(QPen(QColor(90, 92, 100), 1));
    p.setBrush(silver);
    p.drawRoundedRect(QRectF(2.5, 6.5, 59, 51), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(8, 12, 48, 40), 2, 2);
    // Grid: gridColour 0.5, 0.4, 0.1.
    p.setPen(QPen(QColor(128, 102, 26), size >= 32 ? 1.0 : 1.6));
    for (int y = 22; y <= 42; y += 10) p.drawLine(QPointF(10, y), QPointF(54, y));
    // Trace: traceColour 0.45, 0.99, 0.1.
    p.setPen(QPen(QColor(115, 252, 26), size >= 32 ? 2.5 : 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(11, 42), QPointF(19, 40), QPointF(24, 24), QPointF(30, 36), QPointF(36, 30),
                              QPointF(42, 32), QPointF(46, 18), QPointF(53, 22)}));
    return img;
}

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources");
    bool ok = background().save(QDir(dir).filePath("background.jpg"), "JPEG", 92);
    ok = notice().save(QDir(dir).filePath("display_notice.png"), "PNG") && ok;
    for (int i = 0; i < 10; ++i)
        ok = statusIcon(i).save(QDir(dir).filePath(QStringLiteral("status_icon_%1.png").arg(i)), "PNG") && ok;
    QDir(dir).mkpath(QStringLiteral("icons"));
    for (int size : kIconSizes)
        ok = programIcon(size).save(QDir(dir).filePath(QStringLiteral("icons/m797diag-%1.png").arg(size)),
                                    "PNG") &&
             ok;
    std::fprintf(ok ? stdout : stderr, ok ? "pictures written to %s\n" : "could not write to %s\n",
                 qPrintable(dir));
    return ok ? 0 : 1;
}
