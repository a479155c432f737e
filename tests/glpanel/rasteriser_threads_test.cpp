#include "glpanel/rasteriser_threads.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Unset, the renderer is told to rasterise on the drawing thread; a user's
// own setting, even an empty one, is left as it is.
TEST(RasteriserThreads, DrawingThreadUnlessTheUserChoseOtherwise) {
    struct Case {
        std::optional<std::string> before;
        std::string after;
    };
    const Case cases[] = {{std::nullopt, "0"}, {"3", "3"}, {"", ""}, {"0", "0"}};
    for (const Case& c : cases) {
        if (c.before)
            setenv("LP_NUM_THREADS", c.before->c_str(), 1);
        else
            unsetenv("LP_NUM_THREADS");
        m797::gl::rasteriseOnDrawingThread();
        const char* now = std::getenv("LP_NUM_THREADS");
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(std::string(now), c.after);
    }
    unsetenv("LP_NUM_THREADS");
}

}  // namespace
