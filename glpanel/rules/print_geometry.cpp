#include "glpanel/rules/print_geometry.h"

namespace m797::gl {

PrintPlacement printPlacement(TOpenGLPrintScale scale, int bw, int bh, const PrinterMetrics& p,
                              std::int32_t& pixelsPerInch) {
    PrintPlacement r;
    // The product is formed in extended precision with the double 0.18, which
    // lies just below 0.18: 600 dpi gives 107, not 108.
    constexpr double kMarginInches = 0.18;
    r.left = static_cast<int>(static_cast<long double>(p.logPixelsX) * kMarginInches);
    r.top = static_cast<int>(static_cast<long double>(p.logPixelsY) * kMarginInches);
    if (bw <= 0 || bh <= 0) {  // nothing to print, and no division by an empty size
        r.right = r.left;
        r.bottom = r.top;
        r.printable = false;
        return r;
    }
    switch (scale) {
    case TOpenGLPrintScale::pglPrintToFit: {
        const int aw = p.horzRes - 2 * r.left, ah = p.vertRes - 2 * r.top;
        if (ah < aw) {
            r.right = (ah / bh) * bw;
            r.bottom = ah;
        } else {
            r.right = aw;
            r.bottom = (aw / bw) * bh;
        }
        break;
    }
    case TOpenGLPrintScale::pglProportional:
        if (pixelsPerInch < 1) pixelsPerInch = 96;
        r.right = static_cast<int>(static_cast<long double>(bw) / pixelsPerInch * p.logPixelsX) + r.left;
        r.bottom = static_cast<int>(static_cast<long double>(bh) / pixelsPerInch * p.logPixelsY) + r.top;
        break;
    case TOpenGLPrintScale::pglNone:
        r.right = bw + r.left;
        r.bottom = bh + r.top;
        break;
    }
    r.printable = r.width() > 0 && r.height() > 0;
    return r;
}

}  // namespace m797::gl
