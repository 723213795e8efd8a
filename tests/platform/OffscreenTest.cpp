// The offscreen GL context and PNG files: top row first, at the colour depth asked for.
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(Offscreen, FramesComeBackTopRowFirstAtTheColourDepthAskedFor) {
  for (int depth : {32, 16}) {
    platform::OffscreenContext* context = platform::CreateOffscreenContext(8, 6, depth);
    ASSERT_NE(context, nullptr) << depth;
    EXPECT_TRUE(platform::OffscreenWidth(context) == 8u && platform::OffscreenHeight(context) == 6u);
    // Unless asked otherwise, the software rasteriser draws: the same pixels on every machine.
    EXPECT_NE(std::string(platform::OffscreenDevice(context)).find("(software)"), std::string::npos)
        << platform::OffscreenDevice(context);
    // Black, with the top half of the picture cleared to orange.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 3, 8, 3);
    glClearColor(1, 0.5f, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(platform::ReadOffscreenPixels(context, &rgb));
    ASSERT_EQ(rgb.size(), 8u * 6 * 3);
    EXPECT_EQ(rgb[0], 255);                   // top-left: the top half
    EXPECT_EQ(rgb[(5 * 8 + 7) * 3], 0);       // bottom-right: cleared
    // Sixteen bits keep five bits of red and six of green.
    EXPECT_TRUE((rgb[1] == 128) == (depth == 32) && std::abs(rgb[1] - 128) <= 4) << depth << ": " << int(rgb[1]);
    platform::DestroyOffscreenContext(context);
  }
  EXPECT_EQ(platform::CreateOffscreenContext(0, 6, 32), nullptr);
  platform::DestroyOffscreenContext(nullptr);
}

}  // namespace
