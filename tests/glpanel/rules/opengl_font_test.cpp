#include <gtest/gtest.h>

#include "glpanel/rules/opengl_font.h"

using namespace m797::gl;

TEST(Get3DTextSize, CellIncrementsThenTheLastBlackBox) {
    OpenGLFont3D font;
    font.firstGlyph = 65;
    font.glyphCount = 2;
    font.extrusion = 0.1f;
    font.glyphMetrics = {{0.5f, 0.7f, 0.0f, 0.7f, 0.625f, 0.0f}, {0.25f, 0.5f, 0.0f, 0.5f, 0.375f, 0.125f}};
    double x = -1, y = -1, z = -1;
    measure3DText(font, "A", x, y, z);
    EXPECT_DOUBLE_EQ(x, 0.5);
    EXPECT_DOUBLE_EQ(y, 0.7f);
    EXPECT_DOUBLE_EQ(z, 0.1f);
    measure3DText(font, "BA", x, y, z);
    EXPECT_DOUBLE_EQ(x, 0.375 + 0.5);
    EXPECT_DOUBLE_EQ(y, 0.125 + double(0.7f));
    measure3DText(font, "AC", x, y, z);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(z, 0);
    x = y = z = 9;
    measure3DText(font, "", x, y, z);
    EXPECT_EQ(x + y + z, 27);  // an empty text leaves the output as it was
}
