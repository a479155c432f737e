#include "glpanel/rasteriser_threads.h"

#include <cstdlib>

namespace m797::gl {

void rasteriseOnDrawingThread() { setenv("LP_NUM_THREADS", "0", /*overwrite=*/0); }

}  // namespace m797::gl
