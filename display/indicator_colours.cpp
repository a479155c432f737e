#include "display/indicator_colours.h"

namespace m797 {

Colour withBrightness(const float colour[4], float factor) {
    return {colour[0], colour[1], colour[2], colour[3] * factor};
}

}  // namespace m797
