#include "glpanel/large_blocks.h"

#include <malloc.h>

namespace m797::gl {

void keepLargeBlocksMapped() {
    // Setting the threshold also stops glibc from moving it.
    mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
}

}  // namespace m797::gl
