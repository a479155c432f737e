#pragma once
// Where a panel's captured image lands on a printed page.

#include <cstdint>

namespace m797::gl {

enum class TOpenGLPrintScale : std::uint8_t { pglNone, pglPrintToFit, pglProportional };

struct PrinterMetrics {
    int logPixelsX = 0, logPixelsY = 0;  // printer dots per inch
    int horzRes = 0, vertRes = 0;        // printable page in printer pixels
};

struct PrintPlacement {
    int left = 0, top = 0;      // the margins, 0.18 inch
    int right = 0, bottom = 0;  // right and bottom edges of the image
    bool printable = true;      // false for an empty image: nothing is printed
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// bw x bh is the captured image. pixelsPerInch below 1 is set to 96 (the
// caller's property keeps the new value).
PrintPlacement printPlacement(TOpenGLPrintScale scale, int bw, int bh, const PrinterMetrics& printer,
                              std::int32_t& pixelsPerInch);

}  // namespace m797::gl
