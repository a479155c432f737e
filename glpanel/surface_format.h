#pragma once
// The requested pixel-format descriptor expressed as a Qt surface format, and
// the process-wide default format the panels start from.

#include <QSurfaceFormat>

#include "glpanel/rules/pixel_format.h"

namespace m797::gl {

// A compatibility-profile format (legacy GL 1.1 calls and GLU are used
// directly); colour, depth, double buffering and stereo from the descriptor.
QSurfaceFormat surfaceFormatFor(const PixelFormatDescriptor& requested);

}  // namespace m797::gl
