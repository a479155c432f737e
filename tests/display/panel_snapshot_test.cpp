// A panel keeps its picture while its inputs stay the same: every input that
// shows on the panel must make it draw anew (or it would show a stale value),
// and a picture put back must be pixel for pixel what drawing it anew gives.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/record/cp1251.h"
#include "display/catalogue/catalogue.h"
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
        if (const CatalogueEntry* e = catalogueEntry(n);
            e && e->pairedWith != 0 && slotOf(n).kind == SlotKind::Analog)
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

namespace m797 {
namespace {

// The panel's surface as the strip and passport see it, with the screen's
// state set by the test: whether the last presented frame still shows.
struct ScreenState : PanelSurface {
    PanelSurface& panel;
    bool onScreen = false;
    int keeps = 0;
    explicit ScreenState(PanelSurface& p) : panel(p) {}
    int panelWidth() const override { return panel.panelWidth(); }
    int panelHeight() const override { return panel.panelHeight(); }
    int pixelWidth() const override { return panel.pixelWidth(); }
    int pixelHeight() const override { return panel.pixelHeight(); }
    bool frameOnScreen() const override { return onScreen; }
    void keepFrameOnScreen() override { ++keeps; }
    void draw2DText(const Text& t) override { panel.draw2DText(t); }
    void draw3DText(const Text& t) override { panel.draw3DText(t); }
};

// The status strip and the passport are repainted on every tick; while
// their picture stays the same and the screen still shows it, they leave
// it there (nothing drawn, nothing presented); a change, or a screen that
// lost the picture, draws it again.
TEST(PanelSnapshot, UnchangedStripAndPassportLeaveTheFrameOnScreen) {
    const struct {
        PanelKind kind;
        std::function<void(PanelSurface&, const LiveRecord&, PanelSnapshot&)> paint;
        std::function<void(LiveRecord&)> change;
    } cases[] = {
        {PanelKind::StatusStrip,
         [](PanelSurface& s, const LiveRecord& r, PanelSnapshot& k) { paintStatusStrip(s, r, k); },
         [](LiveRecord& r) { underLock(r, [&] { r.errorCount = 7; }); }},
        {PanelKind::Passport,
         [](PanelSurface& s, const LiveRecord& r, PanelSnapshot& k) { paintPassport(s, r, k); },
         [](LiveRecord& r) { underLock(r, [&] { r.identText[2] = "0261208940"; }); }},
    };
    for (const auto& c : cases) {
        PaintedPanel panel(c.kind);
        LiveRecord& r = *panel.record;
        lightEverything(r);
        bool onScreen = false;
        int keeps = 0;
        panel.paint = [&](PanelSurface& s, PanelSnapshot& k) {
            ScreenState screen(s);
            screen.onScreen = onScreen;
            c.paint(screen, r, k);
            keeps += screen.keeps;
        };
        const QImage first = panel.capture();
        EXPECT_EQ(keeps, 0) << "nothing was on screen yet";
        onScreen = true;
        const int kept = panel.snapshot.keptCount();
        panel.capture();
        EXPECT_EQ(keeps, 1) << "the same picture was not left on screen";
        EXPECT_EQ(panel.snapshot.keptCount(), kept);
        c.change(r);
        const QImage changed = panel.capture();
        EXPECT_EQ(keeps, 1) << "a changed picture was left on screen";
        EXPECT_NE(changed, first);
        onScreen = false;  // an expose: the window system lost the picture
        EXPECT_EQ(panel.capture(), changed);
        EXPECT_EQ(keeps, 1);
    }
}

// Inside a paint the panel says whether the screen still shows its last
// frame: never while it is captured, and after an ordinary repaint once
// the window has been shown undisturbed.
TEST(PanelSnapshot, PanelTellsWhetherItsLastFrameIsOnScreen) {
    PaintedPanel panel(PanelKind::StatusStrip);
    std::vector<bool> seen;
    panel.paint = [&](PanelSurface& s, PanelSnapshot&) {
        glClear(GL_COLOR_BUFFER_BIT);
        seen.push_back(s.frameOnScreen());
    };
    panel.capture();
    ASSERT_FALSE(seen.empty());
    EXPECT_FALSE(seen.back()) << "a captured frame";
    QElapsedTimer t;
    t.start();
    while (!(seen.back() && seen.size() > 1) && t.elapsed() < 3000) {
        panel.panel->update();
        QTest::qWait(20);
    }
    EXPECT_TRUE(seen.back());
    panel.capture();
    EXPECT_FALSE(seen.back());
}

}  // namespace
}  // namespace m797
