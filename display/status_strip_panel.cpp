#include "display/status_strip_panel.h"

#include <GL/gl.h>

#include <string>

#include "app/record/cp1251.h"
#include "display/indicator_colours.h"
#include "display/panel_init.h"
#include "display/panel_snapshot.h"
#include "display/panel_surface.h"

namespace m797 {
namespace {

struct Frame {
    int x1, x2, y1, y2;
};
constexpr Frame kFrames[12] = {{-300, -205, 8, 52}, {-195, -70, 8, 52}, {-60, -15, 8, 52}, {-5, 160, 32, 52},
                               {-5, 160, 8, 28},    {170, 243, 8, 52},  {253, 315, 8, 52}, {325, 375, 32, 52},
                               {325, 502, 8, 28},   {455, 502, 32, 52}, {380, 425, 32, 52}, {430, 450, 32, 52}};

enum class Lit { WhenOn, WhenOff, Full };
enum class Source { Fixed, Status, Checksum, ErrorCount };

struct Indicator {
    const char* text;  // UTF-8; fixed texts only
    int x, y;
    Lit lit;
    int flag;          // parameter number of the flag deciding the brightness
    Source source = Source::Fixed;
};
constexpr Indicator kIndicators[28] = {
    {"S_AS", 10, 18, Lit::WhenOn, 64},       {"B_KOE", 10, 40, Lit::WhenOn, 16},
    {"B_LF1", 55, 18, Lit::WhenOn, 19},      {"B_LF2", 55, 40, Lit::WhenOn, 20},
    {"B_SBBVK", 110, 18, Lit::WhenOn, 29},   {"B_SBBHK", 110, 40, Lit::WhenOn, 28},
    {"B_LR", 178, 18, Lit::WhenOn, 22},      {"B_LRHK", 170, 40, Lit::WhenOn, 24},
    {"B_LL", 235, 18, Lit::WhenOn, 21},      {"B_VL", 235, 40, Lit::WhenOn, 33},
    {"B_SWE", 285, 18, Lit::WhenOn, 30},     {"B_KR", 330, 18, Lit::WhenOn, 17},
    {"B_LUSTOP", 370, 18, Lit::WhenOn, 25},  {"B_MIL", 285, 40, Lit::WhenOn, 26},
    {"B_EKP", 325, 40, Lit::WhenOn, 15},     {"B_SA", 365, 40, Lit::WhenOn, 27},
    {"B_TE", 400, 40, Lit::WhenOn, 31},      {"B_KSTUMS", 445, 18, Lit::Full, 0},
    {"RUS", 480, 40, Lit::WhenOn, 18},       {"EURO", 445, 40, Lit::WhenOff, 18},
    {"B_VAR", 525, 18, Lit::Full, 0},        {"Осн", 520, 40, Lit::WhenOff, 32},
    {"Альт", 545, 40, Lit::WhenOn, 32},      {"B_LRA", 590, 18, Lit::WhenOn, 23},
    {"", 590, 40, Lit::Full, 0, Source::Status},
    {"", 644, 18, Lit::Full, 0, Source::Checksum},
    {"", 685, 18, Lit::Full, 0, Source::ErrorCount},
    {"Com1", 710, 18, Lit::Full, 0}};

// Only a state of exactly 1 counts as on.
bool flagOn(const LiveRecord& r, int parameterNumber) {
    const SlotRef ref = slotOf(parameterNumber);
    return ref.kind == SlotKind::Flag && r.flag[ref.index].state == 1;
}

const Text& fixedText(int i) {
    static const auto texts = cp1251Column(kIndicators, &Indicator::text);
    return texts[i];
}

Text indicatorText(const LiveRecord& r, int i) {
    switch (kIndicators[i].source) {
        case Source::Status: return r.statusText;
        case Source::Checksum: return r.extraText[0] + r.extraText[1];
        case Source::ErrorCount: return std::to_string(r.errorCount);
        case Source::Fixed: break;
    }
    return fixedText(i);
}

void drawFrames(const LiveRecord& r) {
    const Colour c = withBrightness(r.nameTextColour, kFrame);
    glColor4f(c[0], c[1], c[2], c[3]);
    for (const Frame& f : kFrames) {
        glBegin(GL_LINE_LOOP);
        glVertex3i(f.x1, f.y2, 0);
        glVertex3i(f.x1, f.y1, 0);
        glVertex3i(f.x2, f.y1, 0);
        glVertex3i(f.x2, f.y2, 0);
        glEnd();
    }
}

}  // namespace

bool indicatorLit(const LiveRecord& r, int order) {
    const Indicator& ind = kIndicators[order - 1];
    switch (ind.lit) {
        case Lit::WhenOn: return flagOn(r, ind.flag);
        case Lit::WhenOff: return !flagOn(r, ind.flag);
        case Lit::Full: break;
    }
    return true;
}

namespace {

// The brightness of every indicator and the texts that change, read in
// place: the key is built on every tick.
const SnapshotKey& stripKey(SnapshotKey& key, const LiveRecord& r) {
    key.add(r.nameTextColour);
    for (int i = 0; i < 28; ++i) {
        key.add(indicatorLit(r, i + 1));
        switch (kIndicators[i].source) {
            case Source::Status: key.add(r.statusText); break;
            case Source::Checksum: key.add(r.extraText[0]).add(r.extraText[1]); break;
            case Source::ErrorCount: key.add(r.errorCount); break;
            case Source::Fixed: break;
        }
    }
    return key;
}

void drawStrip(PanelSurface& panel, const LiveRecord& r) {
    beginLinePaint();
    glTranslated(-100, -30, -150);
    drawFrames(r);
    glPopMatrix();

    beginTextLayer(panel);
    for (int i = 0; i < 28; ++i) {
        const Colour c = withBrightness(r.nameTextColour, indicatorLit(r, i + 1) ? 1.0f : kDimmed);
        glColor4f(c[0], c[1], c[2], c[3]);
        glRasterPos2i(kIndicators[i].x, kIndicators[i].y);
        panel.draw2DText(indicatorText(r, i));
    }
    endTextLayer();
}

}  // namespace

void paintStatusStrip(PanelSurface& panel, const LiveRecord& r, PanelSnapshot& snapshot) {
    // Key and picture from one reading of the record.
    std::lock_guard guard(r.lock);
    snapshot.showWhole(panel, stripKey(snapshot.newKey(), r), [&] { drawStrip(panel, r); });
}

}  // namespace m797
