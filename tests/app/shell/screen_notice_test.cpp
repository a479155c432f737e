#include <gtest/gtest.h>

#include "app/shell/screen_notice.h"

namespace m797 {
namespace {

TEST(ScreenNotice, TheTerminalIsToldWhyAndHowToGoOn) {
    for (int width : {800, 1280, 1920}) {
        const std::string text = screenNotSuitedText(width);
        EXPECT_NE(text.find(std::to_string(width) + " pixels wide"), std::string::npos) << text;
        EXPECT_NE(text.find("1024 pixels wide"), std::string::npos) << text;
        EXPECT_NE(text.find("--ignore-screen-width"), std::string::npos) << text;
        EXPECT_EQ(text.back(), '\n');
    }
    EXPECT_NE(kExitScreenNotSuited, 0);
}

}  // namespace
}  // namespace m797
