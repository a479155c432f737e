#pragma once
// What a process showing panels sets before it makes its QApplication: the
// panels' default surface format, the large-block policy (large_blocks.h)
// and where llvmpipe rasterises (rasteriser_threads.h). The program and the
// display benchmarks start the same way through this one call.

namespace m797::gl {

void preparePanelProcess();

}  // namespace m797::gl
