#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cfenv>
#include <string>
#include <vector>

#include "glpanel/panel_message.h"
#include "glpanel/surface_format.h"
#include "panel_fixture.h"

using namespace m797::gl;

namespace {

struct Recorder {
    std::vector<std::string> events;
    bool currentInEveryEvent = true;
    bool fontsBeforeInit = false;

    void attach(TOpenGLPanel* p) {
        p->OnPreInit = [this](TOpenGLPanel* s) { note("PreInit", s, false); };
        p->OnInit = [this](TOpenGLPanel* s) {
            fontsBeforeInit = s->Font2D() != nullptr && s->Font3D() != nullptr;
            note("Init", s, true);
        };
        p->OnResize = [this](TOpenGLPanel* s) { note("Resize", s, true); };
        p->OnPaint = [this](TOpenGLPanel* s) { note("Paint", s, true); };
    }
    void note(const char* what, TOpenGLPanel* s, bool wantCurrent) {
        events.emplace_back(what);
        if (wantCurrent && QOpenGLContext::currentContext() != s->context()) currentInEveryEvent = false;
    }
};

// Captured messages instead of message boxes.
struct MessageLog {
    std::vector<QString> texts;
    MessageLog() {
        setPanelMessageSink([this](const QString& t) { texts.push_back(t); });
    }
    ~MessageLog() { setPanelMessageSink({}); }
};

}  // namespace

TEST(PanelEvents, PreInitThenInitWithFontsThenResizeAndPaint) {
    MessageLog log;
    ShownPanel s;
    s.panel->Font2D_Enabled = true;
    s.panel->Font3D_Enabled = true;
    Recorder r;
    r.attach(s.panel);
    ASSERT_TRUE(s.show());
    s.panel->capture();
    ASSERT_GE(r.events.size(), 3u);
    EXPECT_EQ(r.events[0], "PreInit");
    EXPECT_EQ(r.events[1], "Init");
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "PreInit"), 1);
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "Init"), 1);
    for (std::size_t i = 2; i < r.events.size(); ++i)
        EXPECT_TRUE(r.events[i] == "Resize" || r.events[i] == "Paint");
    EXPECT_NE(std::find(r.events.begin(), r.events.end(), "Paint"), r.events.end());
    EXPECT_TRUE(r.fontsBeforeInit);
    EXPECT_TRUE(r.currentInEveryEvent);
    EXPECT_TRUE(s.panel->hasRenderingContext());
    EXPECT_TRUE(log.texts.empty());
}

TEST(PanelEvents, NoFontsWithoutOnInit) {
    ShownPanel s;
    s.panel->Font2D_Enabled = true;
    s.panel->Font3D_Enabled = true;
    int paints = 0;
    s.panel->OnPaint = [&](TOpenGLPanel*) { ++paints; };
    ASSERT_TRUE(s.show());
    s.panel->capture();
    EXPECT_GT(paints, 0);
    EXPECT_EQ(s.panel->Font2D(), nullptr);
    EXPECT_EQ(s.panel->Font3D(), nullptr);
}

TEST(PanelEvents, NoContextLeftCurrentAfterThePanelsOwnOperations) {
    ShownPanel s;
    s.panel->OnInit = [](TOpenGLPanel*) {};
    s.panel->OnPaint = [](TOpenGLPanel*) { glClear(GL_COLOR_BUFFER_BIT); };
    s.panel->OnResize = [](TOpenGLPanel*) {};
    ASSERT_TRUE(s.show());
    EXPECT_TRUE(notCurrent(s.panel)) << "after show";
    s.panel->capture();
    EXPECT_TRUE(notCurrent(s.panel)) << "after capture";
    s.panel->resize(180, 50);
    QCoreApplication::processEvents();
    EXPECT_TRUE(notCurrent(s.panel)) << "after resize";
    s.panel->update();
    QTest::qWait(30);
    EXPECT_TRUE(notCurrent(s.panel)) << "after repaint";
    s.panel->SwapBuffers();
    EXPECT_TRUE(notCurrent(s.panel)) << "after SwapBuffers";
    s.panel->MakeOpenGLPanelCurrent();
    EXPECT_EQ(QOpenGLContext::currentContext(), s.panel->context());
    s.panel->MakeOpenGLPanelNotCurrent();
    EXPECT_TRUE(notCurrent(s.panel));
}

TEST(PanelSwapBuffers, AutoPresentsManualWaitsForTheHostSingleBufferDrawsInPlace) {
    const struct {
        const char* name;
        TOpenGLSwapBuffers mode;
        bool gdi;        // single-buffered request
        bool hostSwaps;  // OnPaint calls SwapBuffers itself
        bool shown;      // the red frame reaches the image
    } cases[] = {
        {"Auto", TOpenGLSwapBuffers::Auto, false, false, true},
        {"Manual without a swap", TOpenGLSwapBuffers::Manual, false, false, false},
        {"Manual with the host's swap", TOpenGLSwapBuffers::Manual, false, true, true},
        {"single-buffered", TOpenGLSwapBuffers::Auto, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownPanel s;
        s.panel->GLSwapBuffers = c.mode;
        if (c.gdi) s.panel->SetPFDFlags({TPFDFlag::f_PFD_DRAW_TO_WINDOW, TPFDFlag::f_PFD_SUPPORT_OPENGL});
        s.panel->OnPaint = [&](TOpenGLPanel* p) {
            glClearColor(1, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            if (c.hostSwaps) p->SwapBuffers();
        };
        ASSERT_TRUE(s.show());
        const QImage image = s.panel->capture();
        EXPECT_EQ(s.panel->IsDoubleBuffered(), !c.gdi);
        EXPECT_EQ(qRed(image.pixel(100, 30)) > 200, c.shown);
    }
}

TEST(PanelContext, SurfaceFormatFollowsTheDescriptor) {
    const QSurfaceFormat dbl = surfaceFormatFor(requestedDescriptor(0, kDefaultPFDFlags, 32, 32));
    EXPECT_EQ(dbl.profile(), QSurfaceFormat::CompatibilityProfile);
    EXPECT_EQ(dbl.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    EXPECT_EQ(dbl.depthBufferSize(), 32);
    EXPECT_EQ(dbl.redBufferSize(), 8);
    const TPFDFlags gdi = applyPFDFlags(kDefaultPFDFlags,
                                        {TPFDFlag::f_PFD_DRAW_TO_WINDOW, TPFDFlag::f_PFD_SUPPORT_OPENGL});
    const QSurfaceFormat single = surfaceFormatFor(requestedDescriptor(0, gdi, 16, 16));
    EXPECT_EQ(single.swapBehavior(), QSurfaceFormat::SingleBuffer);
    EXPECT_EQ(single.greenBufferSize(), 6);
}

TEST(PanelContext, ConstructionMasksFloatingPointExceptions) {
    feenableexcept(FE_DIVBYZERO | FE_INVALID);
    TOpenGLPanel p;
    EXPECT_EQ(fegetexcept(), 0);
}

TEST(PanelContext, PanelsOfOneProcessShareTheirLists) {
    ShownPanel a, b;
    a.panel->OnPaint = b.panel->OnPaint = [](TOpenGLPanel*) {};
    TOpenGLPanel notShown;
    ASSERT_TRUE(a.show());
    ASSERT_TRUE(b.show());
    EXPECT_TRUE(a.panel->PanelShareLists(b.panel));
    EXPECT_FALSE(a.panel->PanelShareLists(&notShown));
    EXPECT_FALSE(a.panel->PanelShareLists(nullptr));
}

TEST(PanelContext, ExtensionQueryNeedsACurrentContextAndWholeTokens) {
    ShownPanel s;
    bool realToken = false, prefix = true;
    s.panel->OnPaint = [&](TOpenGLPanel* p) {
        const std::string all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        const std::string first = all.substr(0, all.find(' '));
        realToken = p->QueryOpenGLExtention(first);
        prefix = p->QueryOpenGLExtention(first.substr(0, first.size() - 1));
    };
    ASSERT_TRUE(s.show());
    s.panel->capture();
    EXPECT_TRUE(realToken);
    EXPECT_FALSE(prefix);
    EXPECT_FALSE(s.panel->QueryOpenGLExtention("GL_ARB_multitexture"));  // no context current now
}

TEST(PanelContext, MakingAMissingContextCurrentOnlyReleasesTheCurrentOne) {
    MessageLog log;
    ShownPanel shown;
    shown.panel->OnPaint = [](TOpenGLPanel*) {};
    ASSERT_TRUE(shown.show());
    TOpenGLPanel neverShown;
    shown.panel->MakeOpenGLPanelCurrent();
    ASSERT_EQ(QOpenGLContext::currentContext(), shown.panel->context());
    neverShown.MakeOpenGLPanelCurrent();
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);
    EXPECT_TRUE(log.texts.empty());
    // Text calls without a context or font draw nothing and do not fail.
    neverShown.Draw2DText("abc");
    neverShown.Draw3DText("abc");
    double x = 1, y = 2, z = 3;
    neverShown.Get3DTextSize("abc", x, y, z);
    EXPECT_EQ(x + y + z, 6);
}
