#pragma once
// Pixel-format request of an OpenGL panel: the property types, the flag set
// with its invariant, and the 40-byte descriptor made from the properties.
// No GL or Qt here, so tests can check the request without a display.

#include <cstdint>
#include <initializer_list>

namespace m797::gl {

enum class TPFDPixelTypes : std::uint8_t { f_PFD_TYPE_RGBA, f_PFD_TYPE_COLORINDEX };

// Members in their declared order; the set stores bit (1 << member).
enum class TPFDFlag : std::uint8_t {
    f_PFD_DRAW_TO_WINDOW,
    f_PFD_DRAW_TO_BITMAP,
    f_PFD_SUPPORT_GDI,
    f_PFD_SUPPORT_OPENGL,
    f_PFD_GENERIC_ACCELERATED,
    f_PFD_GENERIC_FORMAT,
    f_PFD_NEED_PALETTE,
    f_PFD_NEED_SYSTEM_PALETTE,
    f_PFD_DOUBLEBUFFER,
    f_PFD_STEREO,
    f_PFD_SWAP_LAYER_BUFFERS,
};

class TPFDFlags {
public:
    constexpr TPFDFlags() = default;
    constexpr TPFDFlags(std::initializer_list<TPFDFlag> members) {
        for (TPFDFlag m : members) bits_ |= bit(m);
    }
    constexpr bool has(TPFDFlag m) const { return (bits_ & bit(m)) != 0; }
    constexpr TPFDFlags with(TPFDFlag m) const { return TPFDFlags(static_cast<std::uint16_t>(bits_ | bit(m))); }
    constexpr TPFDFlags without(TPFDFlag m) const {
        return TPFDFlags(static_cast<std::uint16_t>(bits_ & ~bit(m)));
    }
    constexpr std::uint16_t bits() const { return bits_; }
    constexpr bool operator==(const TPFDFlags&) const = default;

private:
    constexpr explicit TPFDFlags(std::uint16_t bits) : bits_(bits) {}
    static constexpr std::uint16_t bit(TPFDFlag m) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(m));
    }
    std::uint16_t bits_ = 0;
};

enum class TOpenGLSwapBuffers : std::uint8_t { Auto, Manual };
enum class TFont3DFormat : std::uint8_t { f_WGL_FONT_LINES, f_WGL_FONT_POLYGONS };

// Descriptor flag values as the Windows OpenGL binding defines them.
constexpr std::uint32_t PFD_DOUBLEBUFFER = 0x00000001;
constexpr std::uint32_t PFD_STEREO = 0x00000002;
constexpr std::uint32_t PFD_DRAW_TO_WINDOW = 0x00000004;
constexpr std::uint32_t PFD_DRAW_TO_BITMAP = 0x00000008;
constexpr std::uint32_t PFD_SUPPORT_GDI = 0x00000010;
constexpr std::uint32_t PFD_SUPPORT_OPENGL = 0x00000020;
constexpr std::uint32_t PFD_GENERIC_FORMAT = 0x00000040;
constexpr std::uint32_t PFD_NEED_PALETTE = 0x00000080;
constexpr std::uint32_t PFD_NEED_SYSTEM_PALETTE = 0x00000100;
constexpr std::uint32_t PFD_SWAP_LAYER_BUFFERS = 0x00000800;
constexpr std::uint32_t PFD_GENERIC_ACCELERATED = 0x00001000;
constexpr std::uint8_t PFD_TYPE_RGBA = 0;
constexpr std::uint8_t PFD_TYPE_COLORINDEX = 1;
constexpr std::uint8_t PFD_MAIN_PLANE = 0;

// Field for field the 40-byte PIXELFORMATDESCRIPTOR.
struct PixelFormatDescriptor {
    std::uint16_t nSize = 40;
    std::uint16_t nVersion = 1;
    std::uint32_t dwFlags = 0;
    std::uint8_t iPixelType = 0;
    std::uint8_t cColorBits = 0;
    std::uint8_t cRedBits = 0, cRedShift = 0;
    std::uint8_t cGreenBits = 0, cGreenShift = 0;
    std::uint8_t cBlueBits = 0, cBlueShift = 0;
    std::uint8_t cAlphaBits = 0, cAlphaShift = 0;
    std::uint8_t cAccumBits = 0;
    std::uint8_t cAccumRedBits = 0, cAccumGreenBits = 0, cAccumBlueBits = 0, cAccumAlphaBits = 0;
    std::uint8_t cDepthBits = 0;
    std::uint8_t cStencilBits = 0;
    std::uint8_t cAuxBuffers = 0;
    std::uint8_t iLayerType = PFD_MAIN_PLANE;
    std::uint8_t bReserved = 0;
    std::uint32_t dwLayerMask = 0, dwVisibleMask = 0, dwDamageMask = 0;
};
static_assert(sizeof(PixelFormatDescriptor) == 40);

constexpr TPFDFlags kDefaultPFDFlags{TPFDFlag::f_PFD_DRAW_TO_WINDOW, TPFDFlag::f_PFD_SUPPORT_OPENGL,
                                     TPFDFlag::f_PFD_DOUBLEBUFFER};

// The set that SetPFDFlags stores: exactly one of f_PFD_SUPPORT_GDI and
// f_PFD_DOUBLEBUFFER, the member just added winning when both are given.
TPFDFlags applyPFDFlags(TPFDFlags old, TPFDFlags requested);

// 0 for RGBA, 1 for colour index.
std::uint8_t pfdPixelType(TPFDPixelTypes type);

// The descriptor a panel asks for: pixel type, colour and depth bits, and the
// flags of the set; no stencil, accumulation, alpha or auxiliary buffers.
PixelFormatDescriptor requestedDescriptor(std::uint8_t pixelType, TPFDFlags flags, std::uint8_t colorBits,
                                          std::uint8_t depthBits);

}  // namespace m797::gl
