#pragma once
// An image file loaded as texture data.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace m797::gl {

struct BMPTexture {
    std::uint32_t reserved = 0;   // not set by loading
    std::int32_t components = 0;  // 3, or 4 with alpha
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t format = 0;  // GL_RGB, or GL_RGBA with alpha
    std::uint32_t type = 0;    // GL_UNSIGNED_BYTE
    // width x height x components bytes: rows from the bottom image row up,
    // each left to right, red, green, blue and, with alpha, 255.
    std::vector<std::uint8_t> pixels;
};

// None when the file cannot be read or is not a Windows bitmap.
std::unique_ptr<BMPTexture> LoadBMPTexture(const std::string& fileName, bool alpha);

}  // namespace m797::gl
