#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "glpanel/bmp_texture.h"

using m797::gl::LoadBMPTexture;

namespace {
std::string saved(const QTemporaryDir& dir, const char* name, const QImage& image, const char* format) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(image.save(path, format));
    return path.toStdString();
}
}  // namespace

TEST(LoadBMPTexture, TwoByOneImageWithAndWithoutAlpha) {
    QTemporaryDir dir;
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 0, 255));
    const std::string path = saved(dir, "two.bmp", image, "BMP");
    const auto rgba = LoadBMPTexture(path, true);
    ASSERT_NE(rgba, nullptr);
    EXPECT_EQ(rgba->components, 4);
    EXPECT_EQ(rgba->format, 0x1908u);
    EXPECT_EQ(rgba->type, 0x1401u);
    EXPECT_EQ(rgba->width, 2);
    EXPECT_EQ(rgba->height, 1);
    EXPECT_EQ(rgba->pixels, (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));
    const auto rgb = LoadBMPTexture(path, false);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(rgb->components, 3);
    EXPECT_EQ(rgb->format, 0x1907u);
    EXPECT_EQ(rgb->pixels, (std::vector<std::uint8_t>{255, 0, 0, 0, 0, 255}));
}

TEST(LoadBMPTexture, RowsRunFromTheBottomUp) {
    QTemporaryDir dir;
    QImage image(1, 2, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));  // top
    image.setPixel(0, 1, qRgb(0, 255, 0));  // bottom
    const auto t = LoadBMPTexture(saved(dir, "tall.bmp", image, "BMP"), false);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->pixels, (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 0}));
}

TEST(LoadBMPTexture, NoneForAMissingOrForeignFile) {
    QTemporaryDir dir;
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    EXPECT_EQ(LoadBMPTexture(saved(dir, "picture.png", image, "PNG"), true), nullptr);
    EXPECT_EQ(LoadBMPTexture(dir.filePath("absent.bmp").toStdString(), true), nullptr);
    QFile junk(dir.filePath("junk.bmp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("BM not really a bitmap");
    junk.close();
    EXPECT_EQ(LoadBMPTexture(junk.fileName().toStdString(), false), nullptr);
}
