#include "glpanel/panel_process.h"

#include "glpanel/large_blocks.h"
#include "glpanel/opengl_panel.h"
#include "glpanel/rasteriser_threads.h"

namespace m797::gl {

void preparePanelProcess() {
    keepLargeBlocksMapped();
    rasteriseOnDrawingThread();
    TOpenGLPanel::installDefaultSurfaceFormat();
}

}  // namespace m797::gl
