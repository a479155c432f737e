#include "glpanel/bmp_texture.h"

#include <QImage>
#include <QImageReader>

namespace m797::gl {

namespace {
constexpr std::uint32_t kGlRgb = 0x1907, kGlRgba = 0x1908, kGlUnsignedByte = 0x1401;
}

std::unique_ptr<BMPTexture> LoadBMPTexture(const std::string& fileName, bool alpha) {
    QImageReader reader(QString::fromStdString(fileName), "bmp");
    reader.setDecideFormatFromContent(false);
    const QImage image = reader.read();
    if (image.isNull()) return nullptr;
    auto t = std::make_unique<BMPTexture>();
    t->components = alpha ? 4 : 3;
    t->format = alpha ? kGlRgba : kGlRgb;
    t->type = kGlUnsignedByte;
    t->width = image.width();
    t->height = image.height();
    t->pixels.resize(static_cast<std::size_t>(t->width) * t->height * t->components);
    std::size_t at = 0;
    for (int i = 0; i < t->height; ++i) {
        for (int j = 0; j < t->width; ++j) {
            const QRgb p = image.pixel(j, t->height - 1 - i);
            t->pixels[at++] = static_cast<std::uint8_t>(qRed(p));
            t->pixels[at++] = static_cast<std::uint8_t>(qGreen(p));
            t->pixels[at++] = static_cast<std::uint8_t>(qBlue(p));
            if (alpha) t->pixels[at++] = 255;
        }
    }
    return t;
}

}  // namespace m797::gl
