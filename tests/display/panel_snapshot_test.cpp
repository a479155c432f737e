// A panel keeps its picture while its inputs stay the same: every input that
// shows on the panel must make it draw anew (or it would show a stale value),
// and a picture put back must be pixel for pixel what drawing it anew gives.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/record/cp1251.h"
#include "display/catalogue.h"
#include "display/chart_panel.h"
#include "display/passport_panel.h"
#include "display/status_strip_panel.h"
#include "paint_fixture.h"

namespace m797 {
namespace {

using testing::PaintedPanel;
using testing::PanelKind;

struct Change {
    const char* what;
    std::function<void(LiveRecord&, int& parameter)> apply;
    bool drawsAnew;
};

void underLock(LiveRecord& r, const std::function<void()>& f) {
    std::lock_guard guard(r.lock);
    f();
}

int firstPairedParameter() {
    for (int n = 1; n <= 79; ++n)
        if (const CatalogueEntry* e = catalogueEntry(n); e && e->pairedWith != 0 && slotOf(n).kind == SlotKind::Analog)
            return n;
    return 0;
}

void slopedHistory(LiveRecord& r, int parameter, int shift) {
    AnalogSlot& s = r.analog[slotOf(parameter).index];
    for (int k = 0; k < kHistoryLength; ++k) {
        s.history[k] = (k * 7 + shift) % 100;
        s.age[k] = k;
    }
}

// Paints once to keep a picture, applies the change, paints again, and then
// paints the same state on a panel that keeps nothing yet.
void checkChange(PaintedPanel& panel, int& parameter, const Change& c) {
    const QImage before = panel.capture();
    const int kept = panel.snapshot.keptCount();
    c.apply(*panel.record, parameter);
    const QImage after = panel.capture();
    EXPECT_EQ(panel.snapshot.keptCount() - kept, c.drawsAnew ? 1 : 0) << c.what;
    EXPECT_EQ(after == before, std::string(c.what) == "nothing") << c.what << ": the change does not show";
    EXPECT_EQ(panel.capture(), after) << c.what << ": a second paint changed the picture";
    panel.snapshot.forget();
    EXPECT_EQ(panel.capture(), after) << c.what << ": differs from the picture drawn anew";
}

void lightEverything(LiveRecord& r) {
    PaintedPanel::setColour(r.gridColour, 0.3f);
    PaintedPanel::setColour(r.traceColour, 1.0f);
    PaintedPanel::setColour(r.nameTextColour, 0.9f);
    PaintedPanel::setColour(r.valueTextColour, 0.8f);
}

TEST(PanelSnapshot, ChartDrawsAnewExactlyWhenItsGridOrTextsChange) {
    const int paired = firstPairedParameter();
    ASSERT_NE(paired, 0);
    const Change changes[] = {
        {"nothing", [](LiveRecord&, int&) {}, false},
        {"trace", [](LiveRecord& r, int& p) { slopedHistory(r, p, 13); }, false},
        {"trace colour", [](LiveRecord& r, int&) { r.traceColour[3] = 0.5f; }, false},
        {"value text",
         [](LiveRecord& r, int& p) { underLock(r, [&] { r.analog[slotOf(p).index].text = "13.993"; }); }, true},
        {"paired text",
         [](LiveRecord& r, int& p) {
             underLock(r, [&] { r.analog[slotOf(catalogueEntry(p)->pairedWith).index].text = "9.25"; });
         },
         true},
        {"grid colour", [](LiveRecord& r, int&) { r.gridColour[3] = 0.6f; }, true},
        {"name colour", [](LiveRecord& r, int&) { r.nameTextColour[1] = 0.5f; }, true},
        {"value colour", [](LiveRecord& r, int&) { r.valueTextColour[0] = 0.5f; }, true},
        {"parameter", [](LiveRecord&, int& p) { p = 1; }, true},
    };
    for (const Change& c : changes) {
        PaintedPanel chart(PanelKind::Chart);
        LiveRecord& r = *chart.record;
        int parameter = paired;
        lightEverything(r);
        slopedHistory(r, parameter, 0);
        underLock(r, [&] { r.analog[slotOf(parameter).index].text = "13.992"; });
        chart.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintChart(s, r, parameter, k); };
        checkChange(chart, parameter, c);
    }
}

TEST(PanelSnapshot, StatusStripDrawsAnewWhenAnIndicatorOrTextChanges) {
    const Change changes[] = {
        {"nothing", [](LiveRecord&, int&) {}, false},
        {"flag on", [](LiveRecord& r, int&) { underLock(r, [&] { r.flag[slotOf(18).index].state = 1; }); }, true},
        {"status text", [](LiveRecord& r, int&) { underLock(r, [&] { r.statusText = toCp1251("Нет связи!"); }); },
         true},
        {"checksum", [](LiveRecord& r, int&) { underLock(r, [&] { r.extraText[1] = "7F"; }); }, true},
        {"error count", [](LiveRecord& r, int&) { underLock(r, [&] { r.errorCount = 3; }); }, true},
        {"colour", [](LiveRecord& r, int&) { r.nameTextColour[3] = 0.4f; }, true},
    };
    for (const Change& c : changes) {
        PaintedPanel strip(PanelKind::StatusStrip);
        LiveRecord& r = *strip.record;
        int unused = 0;
        lightEverything(r);
        strip.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintStatusStrip(s, r, k); };
        checkChange(strip, unused, c);
    }
}

TEST(PanelSnapshot, PassportDrawsAnewWhenTheIdentificationChanges) {
    const Change changes[] = {
        {"nothing", [](LiveRecord&, int&) {}, false},
        {"ident text", [](LiveRecord& r, int&) { underLock(r, [&] { r.identText[4] = "1.6L 8V"; }); }, true},
        {"colour", [](LiveRecord& r, int&) { r.nameTextColour[3] = 0.4f; }, true},
    };
    for (const Change& c : changes) {
        PaintedPanel passport(PanelKind::Passport);
        LiveRecord& r = *passport.record;
        int unused = 0;
        lightEverything(r);
        underLock(r, [&] { r.identText[0] = "XTA21703090012345"; });
        passport.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintPassport(s, r, k); };
        checkChange(passport, unused, c);
    }
}

}  // namespace
}  // namespace m797
