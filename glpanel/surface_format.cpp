#include "glpanel/surface_format.h"

namespace m797::gl {

namespace {

struct ColourSplit {
    int minBits, red, green, blue;
};
// Colour bits count red, green and blue only (as the descriptor's cColorBits).
constexpr ColourSplit kColourSplits[] = {{24, 8, 8, 8}, {16, 5, 6, 5}, {15, 5, 5, 5}, {1, 3, 3, 2}};

}  // namespace

QSurfaceFormat surfaceFormatFor(const PixelFormatDescriptor& requested) {
    QSurfaceFormat f = QSurfaceFormat::defaultFormat();
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    if (f.majorVersion() > 2 || (f.majorVersion() == 2 && f.minorVersion() > 1)) f.setVersion(2, 1);
    for (const ColourSplit& s : kColourSplits) {
        if (requested.cColorBits >= s.minBits) {
            f.setRedBufferSize(s.red);
            f.setGreenBufferSize(s.green);
            f.setBlueBufferSize(s.blue);
            break;
        }
    }
    f.setAlphaBufferSize(requested.cAlphaBits);
    f.setDepthBufferSize(requested.cDepthBits);
    f.setStencilBufferSize(requested.cStencilBits);
    f.setSwapBehavior((requested.dwFlags & PFD_DOUBLEBUFFER) ? QSurfaceFormat::DoubleBuffer
                                                             : QSurfaceFormat::SingleBuffer);
    f.setStereo((requested.dwFlags & PFD_STEREO) != 0);
    // The display clock paces the frames; a swap never waits for the
    // screen's refresh (seven panels swap one after the other each tick).
    f.setSwapInterval(0);
    return f;
}

}  // namespace m797::gl
