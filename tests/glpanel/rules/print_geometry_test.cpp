#include <gtest/gtest.h>

#include "glpanel/rules/print_geometry.h"

using namespace m797::gl;

namespace {
constexpr PrinterMetrics k600Dpi{600, 600, 4800, 6600};
}

TEST(PrintPlacement, MarginsAreTruncatedEighteenHundredthsOfAnInch) {
    std::int32_t ppi = 96;
    const PrintPlacement p = printPlacement(TOpenGLPrintScale::pglNone, 750, 115, k600Dpi, ppi);
    EXPECT_EQ(p.left, 107);  // 600 x 0.18 is just below 108
    EXPECT_EQ(p.top, 107);
    const PrintPlacement q = printPlacement(TOpenGLPrintScale::pglNone, 750, 115, {300, 1200, 2400, 13200}, ppi);
    EXPECT_EQ(q.left, 53);  // 300 x 0.18 just below 54
    EXPECT_EQ(q.top, 215);
}

TEST(PrintPlacement, ScaleModesForAChartPanel) {
    const struct {
        TOpenGLPrintScale scale;
        int right, bottom;
    } cases[] = {
        {TOpenGLPrintScale::pglNone, 107 + 750, 107 + 115},
        {TOpenGLPrintScale::pglProportional, 4687 + 107, 718 + 107},
        // aw = 4586, ah = 6386: ah >= aw, so the width fills: 4586 / 750 = 6 (integer), 6 x 115
        {TOpenGLPrintScale::pglPrintToFit, 4586, 690},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.scale));
        std::int32_t ppi = 96;
        const PrintPlacement p = printPlacement(c.scale, 750, 115, k600Dpi, ppi);
        EXPECT_EQ(p.right, c.right);
        EXPECT_EQ(p.bottom, c.bottom);
        EXPECT_TRUE(p.printable);
    }
    std::int32_t ppi = 96;
    const PrintPlacement p = printPlacement(TOpenGLPrintScale::pglProportional, 750, 115, k600Dpi, ppi);
    EXPECT_EQ(p.width(), 4687);
    EXPECT_EQ(p.height(), 718);
}

TEST(PrintPlacement, ProportionalRepairsPixelsPerInchBelowOne) {
    std::int32_t ppi = 0;
    const PrintPlacement p = printPlacement(TOpenGLPrintScale::pglProportional, 750, 115, k600Dpi, ppi);
    EXPECT_EQ(ppi, 96);
    EXPECT_EQ(p.width(), 4687);
}

TEST(PrintPlacement, EmptyImagePrintsNothing) {
    for (TOpenGLPrintScale s :
         {TOpenGLPrintScale::pglNone, TOpenGLPrintScale::pglPrintToFit, TOpenGLPrintScale::pglProportional}) {
        std::int32_t ppi = 96;
        EXPECT_FALSE(printPlacement(s, 0, 115, k600Dpi, ppi).printable);
        EXPECT_FALSE(printPlacement(s, 750, 0, k600Dpi, ppi).printable);
    }
}
