#include <gtest/gtest.h>

#include "glpanel/rules/pixel_format.h"

using namespace m797::gl;
using F = TPFDFlag;

namespace {

struct FlagsCase {
    const char* name;
    TPFDFlags old, requested, stored;
};

const FlagsCase kFlagsCases[] = {
    {"neither, over double buffering: GDI added",
     kDefaultPFDFlags,
     {F::f_PFD_DRAW_TO_WINDOW, F::f_PFD_SUPPORT_OPENGL},
     {F::f_PFD_DRAW_TO_WINDOW, F::f_PFD_SUPPORT_OPENGL, F::f_PFD_SUPPORT_GDI}},
    {"neither, over GDI: double buffering added",
     {F::f_PFD_SUPPORT_GDI},
     {F::f_PFD_DRAW_TO_WINDOW},
     {F::f_PFD_DRAW_TO_WINDOW, F::f_PFD_DOUBLEBUFFER}},
    {"both, over GDI: double buffering kept",
     {F::f_PFD_DRAW_TO_WINDOW, F::f_PFD_SUPPORT_GDI},
     {F::f_PFD_SUPPORT_GDI, F::f_PFD_DOUBLEBUFFER, F::f_PFD_STEREO},
     {F::f_PFD_DOUBLEBUFFER, F::f_PFD_STEREO}},
    {"both, over double buffering: GDI kept",
     kDefaultPFDFlags,
     {F::f_PFD_SUPPORT_GDI, F::f_PFD_DOUBLEBUFFER},
     {F::f_PFD_SUPPORT_GDI}},
    {"one of them: stored as given",
     kDefaultPFDFlags,
     {F::f_PFD_DRAW_TO_BITMAP, F::f_PFD_SUPPORT_GDI},
     {F::f_PFD_DRAW_TO_BITMAP, F::f_PFD_SUPPORT_GDI}},
};

}  // namespace

TEST(SetPFDFlags, KeepsExactlyOneOfGdiAndDoubleBuffer) {
    for (const FlagsCase& c : kFlagsCases) {
        SCOPED_TRACE(c.name);
        const TPFDFlags stored = applyPFDFlags(c.old, c.requested);
        EXPECT_EQ(stored.bits(), c.stored.bits());
        EXPECT_NE(stored.has(F::f_PFD_SUPPORT_GDI), stored.has(F::f_PFD_DOUBLEBUFFER));
    }
}

TEST(RequestedDescriptor, DefaultsAskForDoubleBufferedWindowWith32Bits) {
    const PixelFormatDescriptor d = requestedDescriptor(pfdPixelType(TPFDPixelTypes::f_PFD_TYPE_RGBA),
                                                        kDefaultPFDFlags, 32, 32);
    EXPECT_EQ(d.nSize, 40);
    EXPECT_EQ(d.nVersion, 1);
    EXPECT_EQ(d.dwFlags, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER);
    EXPECT_EQ(d.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(d.cColorBits, 32);
    EXPECT_EQ(d.cDepthBits, 32);
    EXPECT_EQ(d.cAlphaBits + d.cStencilBits + d.cAccumBits + d.cAuxBuffers, 0);
    EXPECT_EQ(d.iLayerType, PFD_MAIN_PLANE);
}

TEST(RequestedDescriptor, GdiSetAsksForGdiWithoutDoubleBuffering) {
    const TPFDFlags stored = applyPFDFlags(kDefaultPFDFlags, {F::f_PFD_DRAW_TO_WINDOW, F::f_PFD_SUPPORT_OPENGL});
    const PixelFormatDescriptor d = requestedDescriptor(0, stored, 32, 32);
    EXPECT_EQ(d.dwFlags, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_SUPPORT_GDI);
}
