#include "display/status_strip_panel.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <string>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "display/indicator_colours.h"
#include "display/panel_init.h"
#include "display/panel_snapshot.h"
#include "display/panel_surface.h"

namespace m797 {
namespace {

struct Frame {
    int x1, x2, y1, y2;
};
constexpr Frame kFrames[12] = {{-300, -205, 8, 52}, {-195, -70, 8, 52}, {-60, -15, 8, 52},  {-5, 160, 32, 52},
                               {-5, 160, 8, 28},    {170, 243, 8, 52},  {253, 315, 8, 52},  {325, 375, 32, 52},
                               {325, 502, 8, 28},   {455, 502, 32, 52}, {380, 425, 32, 52}, {430, 450, 32, 52}};

enum class Lit { WhenOn, WhenOff, Full };
enum class Source { Fixed, Status, Checksum, ErrorCount, Port };

struct Indicator {
    const char* text;  // UTF-8; fixed texts only
    int x, y;
    Lit lit;
    int flag;  // parameter number of the flag deciding the brightness
    Source source = Source::Fixed;
};
constexpr Indicator kIndicators[28] = {{"S_AS", 10, 18, Lit::WhenOn, 64},
                                       {"B_KOE", 10, 40, Lit::WhenOn, 16},
                                       {"B_LF1", 55, 18, Lit::WhenOn, 19},
                                       {"B_LF2", 55, 40, Lit::WhenOn, 20},
                                       {"B_SBBVK", 110, 18, Lit::WhenOn, 29},
                                       {"B_SBBHK", 110, 40, Lit::WhenOn, 28},
                                       {"B_LR", 178, 18, Lit::WhenOn, 22},
                                       {"B_LRHK", 170, 40, Lit::WhenOn, 24},
                                       {"B_LL", 235, 18, Lit::WhenOn, 21},
                                       {"B_VL", 235, 40, Lit::WhenOn, 33},
                                       {"B_SWE", 285, 18, Lit::WhenOn, 30},
                                       {"B_KR", 330, 18, Lit::WhenOn, 17},
                                       {"B_LUSTOP", 370, 18, Lit::WhenOn, 25},
                                       {"B_MIL", 285, 40, Lit::WhenOn, 26},
                                       {"B_EKP", 325, 40, Lit::WhenOn, 15},
                                       {"B_SA", 365, 40, Lit::WhenOn, 27},
                                       {"B_TE", 400, 40, Lit::WhenOn, 31},
                                       {"B_KSTUMS", 445, 18, Lit::Full, 0},
                                       {"RUS", 480, 40, Lit::WhenOn, 18},
                                       {"EURO", 445, 40, Lit::WhenOff, 18},
                                       {"B_VAR", 525, 18, Lit::Full, 0},
                                       {"Осн", 520, 40, Lit::WhenOff, 32},
                                       {"Альт", 545, 40, Lit::WhenOn, 32},
                                       {"B_LRA", 590, 18, Lit::WhenOn, 23},
                                       {"", 590, 40, Lit::Full, 0, Source::Status},
                                       {"", 644, 18, Lit::Full, 0, Source::Checksum},
                                       {"", 685, 18, Lit::Full, 0, Source::ErrorCount},
                                       {"", 710, 18, Lit::Full, 0, Source::Port}};

// Only a state of exactly 1 counts as on.
bool flagOn(const LiveRecord& r, int parameterNumber) {
    const SlotRef ref = slotOf(parameterNumber);
    return ref.kind == SlotKind::Flag && r.flag[ref.index].state == 1;
}

const Text& fixedText(int i) {
    static const auto texts = cp1251Column(kIndicators, &Indicator::text);
    return texts[i];
}

void drawFrames(const float nameTextColour[4]) {
    const Colour c = withBrightness(nameTextColour, kFrame);
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

// What the strip shows, copied under record.lock: the drawing (slow under
// software rendering) then runs with the lock released. Kept from paint to
// paint, so the texts reuse their storage.
struct StripView {
    float nameTextColour[4] = {};
    std::array<bool, 28> lit{};
    Text status, checksum, errorCount, port;
};

void copyStrip(StripView& v, const LiveRecord& r) {
    const RecordLock held(r);
    std::copy_n(r.nameTextColour, 4, v.nameTextColour);
    for (int i = 0; i < 28; ++i) v.lit[i] = indicatorLit(r, i + 1);
    v.status = r.statusText;
    v.checksum.assign(r.extraText[0]).append(r.extraText[1]);
    v.errorCount = std::to_string(r.errorCount);
    v.port = r.portText;
}

const Text& indicatorText(const StripView& v, int i) {
    switch (kIndicators[i].source) {
    case Source::Status: return v.status;
    case Source::Checksum: return v.checksum;
    case Source::ErrorCount: return v.errorCount;
    case Source::Port: return v.port;
    case Source::Fixed: break;
    }
    return fixedText(i);
}

// The brightness of every indicator and the texts that change.
const SnapshotKey& stripKey(SnapshotKey& key, const StripView& v) {
    key.add(v.nameTextColour).add(v.status).add(v.checksum).add(v.errorCount).add(v.port);
    for (bool lit : v.lit) key.add(lit);
    return key;
}

void drawStrip(PanelSurface& panel, const StripView& v) {
    beginLinePaint();
    glTranslated(-100, -30, -150);
    drawFrames(v.nameTextColour);
    glPopMatrix();

    beginTextLayer(panel);
    for (int i = 0; i < 28; ++i) {
        const Colour c = withBrightness(v.nameTextColour, v.lit[i] ? 1.0f : kDimmed);
        glColor4f(c[0], c[1], c[2], c[3]);
        glRasterPos2i(kIndicators[i].x, kIndicators[i].y);
        panel.draw2DText(indicatorText(v, i));
    }
    endTextLayer();
}

}  // namespace

void paintStatusStrip(PanelSurface& panel, const LiveRecord& r, PanelSnapshot& snapshot) {
    static StripView view;  // paints run on the window thread only
    copyStrip(view, r);     // key and picture from one reading of the record
    snapshot.showWhole(panel, stripKey(snapshot.newKey(), view), [&] { drawStrip(panel, view); });
}

}  // namespace m797
