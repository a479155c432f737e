#pragma once
// Where Mesa's software renderer (llvmpipe) rasterises, set once at start
// before the first context.
//
// By default llvmpipe hands every flush to rasteriser threads and waits for
// them. The seven panels flush many small scenes per frame (the kept picture
// put back, the trace, the copy into the window, the swap), and waking and
// waiting for the threads cost more than the rasterising itself: measured
// streaming with seven panels, 15 % of the process's CPU went to switching
// threads, and rasterising on the drawing thread cut CPU per presented frame
// by about 13 % with the same pixels. A user's own LP_NUM_THREADS is kept.

namespace m797::gl {

void rasteriseOnDrawingThread();

}  // namespace m797::gl
