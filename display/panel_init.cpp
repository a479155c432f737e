#include "display/panel_init.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "display/panel_surface.h"

namespace m797 {

void initPanelView(PanelSurface& panel, bool perspectiveCorrectionHint) {
    const int w = panel.panelWidth();
    const int h = panel.panelHeight();
    glViewport(0, 0, panel.pixelWidth(), panel.pixelHeight());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (h != 0)
        gluPerspective(20.0, static_cast<double>(w) / h, 1.0, 2000.0);
    else
        gluPerspective(45.0, w, 1.0, 2000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_LIGHT0);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    if (perspectiveCorrectionHint) glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void beginLinePaint(bool clear) {
    if (clear) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDisable(GL_DEPTH_TEST);
}

void beginTextLayer(const PanelSurface& panel) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, panel.panelWidth(), panel.panelHeight(), 0, 1000, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void endTextLayer() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void drawValueText(PanelSurface& panel, const float colour[4], const Text& text) {
    glColor4f(colour[0], colour[1], colour[2], colour[3]);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLoadIdentity();
    glTranslated(-3, -0.35, -3);
    glScalef(0.7f, 0.8f, 0.0f);
    panel.draw3DText(text);
}

}  // namespace m797
