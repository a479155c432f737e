#include "glpanel/rules/pixel_format.h"

namespace m797::gl {

namespace {

struct FlagMapping {
    TPFDFlag member;
    std::uint32_t descriptorFlag;
};
// f_PFD_SUPPORT_GDI and f_PFD_DOUBLEBUFFER are handled apart: the one excludes the other.
constexpr FlagMapping kFlagMappings[] = {
    {TPFDFlag::f_PFD_DRAW_TO_WINDOW, PFD_DRAW_TO_WINDOW},
    {TPFDFlag::f_PFD_DRAW_TO_BITMAP, PFD_DRAW_TO_BITMAP},
    {TPFDFlag::f_PFD_SUPPORT_OPENGL, PFD_SUPPORT_OPENGL},
    {TPFDFlag::f_PFD_GENERIC_ACCELERATED, PFD_GENERIC_ACCELERATED},
    {TPFDFlag::f_PFD_GENERIC_FORMAT, PFD_GENERIC_FORMAT},
    {TPFDFlag::f_PFD_NEED_PALETTE, PFD_NEED_PALETTE},
    {TPFDFlag::f_PFD_NEED_SYSTEM_PALETTE, PFD_NEED_SYSTEM_PALETTE},
    {TPFDFlag::f_PFD_STEREO, PFD_STEREO},
    {TPFDFlag::f_PFD_SWAP_LAYER_BUFFERS, PFD_SWAP_LAYER_BUFFERS},
};

}  // namespace

TPFDFlags applyPFDFlags(TPFDFlags old, TPFDFlags requested) {
    constexpr TPFDFlag gdi = TPFDFlag::f_PFD_SUPPORT_GDI;
    constexpr TPFDFlag dbl = TPFDFlag::f_PFD_DOUBLEBUFFER;
    if (requested.has(gdi) && requested.has(dbl))
        return old.has(gdi) ? requested.without(gdi) : requested.without(dbl);
    if (!requested.has(gdi) && !requested.has(dbl))
        return old.has(gdi) ? requested.with(dbl) : requested.with(gdi);
    return requested;
}

std::uint8_t pfdPixelType(TPFDPixelTypes type) {
    return type == TPFDPixelTypes::f_PFD_TYPE_RGBA ? PFD_TYPE_RGBA : PFD_TYPE_COLORINDEX;
}

PixelFormatDescriptor requestedDescriptor(std::uint8_t pixelType, TPFDFlags flags, std::uint8_t colorBits,
                                          std::uint8_t depthBits) {
    PixelFormatDescriptor pfd;
    pfd.iPixelType = pixelType;
    pfd.cColorBits = colorBits;
    pfd.cDepthBits = depthBits;
    for (const FlagMapping& m : kFlagMappings)
        if (flags.has(m.member)) pfd.dwFlags |= m.descriptorFlag;
    pfd.dwFlags |= flags.has(TPFDFlag::f_PFD_SUPPORT_GDI) ? PFD_SUPPORT_GDI : PFD_DOUBLEBUFFER;
    return pfd;
}

}  // namespace m797::gl
