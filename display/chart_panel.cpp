#include "display/chart_panel.h"

#include <GL/gl.h>

#include "display/catalogue/catalogue.h"
#include "display/catalogue/chart_texts.h"
#include "display/panel_init.h"
#include "display/panel_snapshot.h"
#include "display/panel_surface.h"

namespace m797 {
namespace {

void setColour(const float c[4]) { glColor4f(c[0], c[1], c[2], c[3]); }

// The grid lines, one segment each, in one batch: each segment is drawn
// alone and adds its light, so the pixels are those of one strip per line,
// while software OpenGL builds far fewer pipelines for one draw than for 175
// (2.7 MB less resident memory over the five charts).
void drawGrid(const float colour[4]) {
    setColour(colour);
    glBegin(GL_LINES);
    for (int x = 0; x <= 750; x += 5) {
        glVertex3i(x, 0, 0);
        glVertex3i(x, 115, 0);
    }
    for (int y = 0; y <= 115; y += 5) {
        glVertex3i(0, y, 0);
        glVertex3i(750, y, 0);
    }
    glEnd();
}

// The history as one strip of (age, value) points; no vertex without a slot.
template <typename Slot>
void traceVertices(const Slot& s) {
    for (int k = 1; k < kHistoryLength; ++k) glVertex3i(s.age[k], s.history[k], 0);
}

void drawTrace(const LiveRecord& r, int parameterNumber) {
    glLoadIdentity();
    glTranslated(-400, -50, -150);
    glTranslated(55, -1.1, -150);
    setColour(r.traceColour);
    glBegin(GL_LINE_STRIP);
    const SlotRef ref = slotOf(parameterNumber);
    if (ref.kind == SlotKind::Analog) traceVertices(r.analog[ref.index]);
    if (ref.kind == SlotKind::Counter) traceVertices(r.counter[ref.index]);
    if (ref.kind == SlotKind::Flag) traceVertices(r.flag[ref.index]);
    glEnd();
}

void textAt(PanelSurface& panel, const Text& text, int x, int y) {
    glRasterPos2i(x, y);
    panel.draw2DText(text);
}

void drawLabel(PanelSurface& panel, const ScaleLabel& label) {
    if (!label.text.empty()) textAt(panel, label.text, label.x, label.y);
}

struct ChartTexts {
    Text value;
    Text paired;
};

ChartTexts currentTexts(const LiveRecord& r, int parameterNumber) {
    const RecordLock held(r);
    return {chartValueText(parameterNumber, held), chartPairedText(parameterNumber, held)};
}

const SnapshotKey& staticPartKey(SnapshotKey& key, const LiveRecord& r, int parameterNumber,
                                 const ChartTexts& texts) {
    key.add(parameterNumber).add(r.gridColour).add(r.nameTextColour).add(r.valueTextColour);
    key.add(texts.value).add(texts.paired);
    return key;
}

// The grid and the texts: what changes only with the settings and the texts.
void drawStaticPart(PanelSurface& panel, const LiveRecord& r, const CatalogueEntry* entry,
                    const ChartTexts& texts) {
    glLoadIdentity();
    glTranslated(-400, -50, -150);
    drawGrid(r.gridColour);

    beginTextLayer(panel);
    setColour(r.nameTextColour);
    if (entry) {
        textAt(panel, entry->chartTitle, 180, 10);
        if (entry->pairedWith != 0) textAt(panel, texts.paired, 600, 10);
        drawLabel(panel, entry->top);
        drawLabel(panel, entry->middle);
        drawLabel(panel, entry->bottom);
    }
    endTextLayer();

    if (entry && entry->kind != DisplayKind::Reserved) drawValueText(panel, r.valueTextColour, texts.value);
}

}  // namespace

void paintChart(PanelSurface& panel, const LiveRecord& r, int parameterNumber, PanelSnapshot& snapshot) {
    const CatalogueEntry* entry = catalogueEntry(parameterNumber);
    const ChartTexts texts = entry ? currentTexts(r, parameterNumber) : ChartTexts{};
    // Every part adds its light (additive blending), so the order of the
    // parts does not change a pixel: the kept grid and texts first, then the
    // trace, which moves on every tick.
    snapshot.show(panel, staticPartKey(snapshot.newKey(), r, parameterNumber, texts), [&] {
        beginLinePaint();
        drawStaticPart(panel, r, entry, texts);
        glPopMatrix();
    });
    // Put back or drawn, the kept part now covers the cleared panel.
    beginLinePaint(false);
    drawTrace(r, parameterNumber);
    glPopMatrix();
}

}  // namespace m797
