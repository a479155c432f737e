#include <gtest/gtest.h>

#include "glpanel/rules/extension_tokens.h"

using m797::gl::hasExtensionToken;

TEST(QueryOpenGLExtention, MatchesWholeTokensOnly) {
    const char* list = "GL_ARB_multitexture GL_EXT_texture3D GL_EXT_bgra";
    const struct {
        const char* name;
        bool found;
    } cases[] = {{"GL_EXT_texture", false},  // only a prefix of GL_EXT_texture3D
                 {"GL_EXT_texture3D", true},
                 {"GL_ARB_multitexture", true},
                 {"GL_EXT_bgra", true},
                 {"GL_EXT_bgr", false},
                 {"EXT_bgra", false},
                 {"GL_EXT_texture3D ", false},
                 {"", false}};
    for (const auto& c : cases) EXPECT_EQ(hasExtensionToken(list, c.name), c.found) << '"' << c.name << '"';
    EXPECT_TRUE(hasExtensionToken("GL_EXT_texture GL_EXT_texture3D", "GL_EXT_texture"));
    EXPECT_FALSE(hasExtensionToken(nullptr, "GL_EXT_texture"));
    EXPECT_FALSE(hasExtensionToken("", "GL_EXT_texture"));
}
