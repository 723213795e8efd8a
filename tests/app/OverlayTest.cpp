// The overlay font and loading screen drawn offscreen, leaving the renderer's GL state alone.
#include "app/Overlay.h"

#include "platform/Platform.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t W = 160, H = 120;

struct Frame {
  std::vector<uint8_t> rgb;
  const uint8_t* At(uint32_t x, uint32_t y) const { return &rgb[(size_t(y) * W + x) * 3]; }
  bool White(uint32_t x, uint32_t y) const { return At(x, y)[0] == 255 && At(x, y)[1] == 255 && At(x, y)[2] == 255; }
  bool Black(uint32_t x, uint32_t y) const { return At(x, y)[0] == 0 && At(x, y)[1] == 0 && At(x, y)[2] == 0; }
  bool Red(uint32_t x, uint32_t y) const { return At(x, y)[0] == 255 && At(x, y)[1] == 0 && At(x, y)[2] == 0; }
};

class OverlayDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    context = platform::CreateOffscreenContext(W, H, 32);
    ASSERT_NE(context, nullptr);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  void TearDown() override { platform::DestroyOffscreenContext(context); }
  Frame Read() {
    Frame frame;
    EXPECT_TRUE(platform::ReadOffscreenPixels(context, &frame.rgb));
    return frame;
  }
  platform::OffscreenContext* context = nullptr;
};

TEST_F(OverlayDrawing, TextSitsInTwelvePixelCellsAtTheTopLeftAndKeepsTheRenderersState) {
  // A renderer's state: a widescreen viewport, a perspective, lighting and depth test on.
  glViewport(0, 20, W, 80);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-1, 1, -1, 1, 1, 10);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -5);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glColor3f(0.25f, 0.5f, 0.75f);
  GLfloat projection[16], modelview[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);

  // "-" lights one row of its cell (the fourth glyph row, two rows below the cell's top), two
  // columns per glyph column; "8" next to it lights more; the rest of both cells is black.
  DrawOverlayText(W, H, 0, 0, "-8");
  Frame frame = Read();
  for (uint32_t y = 0; y < uint32_t(OVERLAY_CELL_HEIGHT); ++y) {
    for (uint32_t x = 0; x < uint32_t(OVERLAY_CELL_WIDTH); ++x) {
      const bool lit = y == 5 && x >= 1 && x <= 6;
      EXPECT_TRUE(lit ? frame.White(x, y) : frame.Black(x, y)) << x << "," << y;
    }
  }
  int eightLit = 0;
  for (uint32_t y = 0; y < uint32_t(OVERLAY_CELL_HEIGHT); ++y)
    for (uint32_t x = OVERLAY_CELL_WIDTH; x < 2u * OVERLAY_CELL_WIDTH; ++x) eightLit += frame.White(x, y);
  EXPECT_GT(eightLit, 20);
  EXPECT_TRUE(frame.White(8 + 2, 2));   // the top bar of the 8
  EXPECT_TRUE(frame.Black(8 + 1, 2));   // not its corner
  // Nothing outside the two cells.
  EXPECT_TRUE(frame.Red(2 * OVERLAY_CELL_WIDTH, 0));
  EXPECT_TRUE(frame.Red(0, OVERLAY_CELL_HEIGHT));

  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[1], 20);
  EXPECT_EQ(viewport[3], 80);
  GLfloat projectionAfter[16], modelviewAfter[16], colour[4];
  glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelviewAfter);
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_TRUE(std::equal(projection, projection + 16, projectionAfter));
  EXPECT_TRUE(std::equal(modelview, modelview + 16, modelviewAfter));
  EXPECT_FLOAT_EQ(colour[2], 0.75f);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING) && glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_CULL_FACE));
  GLint mode;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(OverlayDrawing, LowerCaseDrawsAsCapitalsAndTheLoadingBarFillsToItsFraction) {
  DrawOverlayText(W, H, 0, 0, "a");
  Frame lower = Read();
  DrawOverlayText(W, H, 0, 0, "A");
  Frame upper = Read();
  EXPECT_EQ(lower.rgb, upper.rgb);

  DrawLoadingScreen(W, H, "LOADING", 0.5f);
  Frame frame = Read();
  // The bar spans x 40-120 at y 56-64; half of it is white.
  EXPECT_TRUE(frame.White(45, 60) && frame.White(78, 60));
  EXPECT_TRUE(frame.Black(82, 60) && frame.Black(115, 60));
  EXPECT_TRUE(frame.Black(5, 5));  // cleared, the red is gone
  int textLit = 0;
  for (uint32_t y = 30; y < 42; ++y)
    for (uint32_t x = 0; x < W; ++x) textLit += frame.White(x, y);
  EXPECT_GT(textLit, 30);
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  EXPECT_FLOAT_EQ(clear[0], 1.0f);  // the caller's clear colour survives
}

}  // namespace
