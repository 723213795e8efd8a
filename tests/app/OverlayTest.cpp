// The overlay font and loading screen drawn offscreen, leaving the renderer's GL state alone.
#include "app/Overlay.h"

#include "platform/Platform.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t W = 160, H = 120, WHITE = 0xFFFFFF, RED = 0xFF0000;

class OverlayDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    context = platform::CreateOffscreenContext(W, H, 32);
    ASSERT_NE(context, nullptr);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  void TearDown() override { platform::DestroyOffscreenContext(context); }
  // The picture drawn so far, and its pixel (x, y) as 0xRRGGBB.
  void Read() { EXPECT_TRUE(platform::ReadOffscreenPixels(context, &rgb)); }
  uint32_t At(uint32_t x, uint32_t y) const {
    const uint8_t* p = &rgb[(size_t(y) * W + x) * 3];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  }
  platform::OffscreenContext* context = nullptr;
  std::vector<uint8_t> rgb;
};

TEST_F(OverlayDrawing, TextInTwelvePixelCellsAndTheLoadingScreenKeepTheRenderersState) {
  // A renderer's state: a widescreen viewport, a perspective, lighting and depth test on.
  glViewport(0, 20, W, 80);
  glMatrixMode(GL_PROJECTION);
  glFrustum(-1, 1, -1, 1, 1, 10);
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(0, 0, -5);
  for (GLenum cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_CULL_FACE}) glEnable(cap);
  glColor3f(0.25f, 0.5f, 0.75f);
  // The state the overlay must leave as it found it (the clear colour too), as one list of numbers.
  auto state = [] {
    std::vector<GLfloat> values(16 + 16 + 4 + 4);
    glGetFloatv(GL_PROJECTION_MATRIX, &values[0]);
    glGetFloatv(GL_MODELVIEW_MATRIX, &values[16]);
    glGetFloatv(GL_CURRENT_COLOR, &values[32]);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, &values[36]);
    GLint viewport[4], mode;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    values.insert(values.end(), {GLfloat(viewport[1]), GLfloat(viewport[3]), GLfloat(mode)});
    for (GLenum cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_CULL_FACE}) values.push_back(glIsEnabled(cap));
    return values;
  };
  const std::vector<GLfloat> before = state();

  // "-" lights one row of its cell (the fourth glyph row, two rows below the cell's top), two
  // columns per glyph column; the rest of the cell is black. Lower case draws as capitals.
  DrawOverlayText(W, H, 0, 0, "-8aA");
  Read();
  for (uint32_t y = 0; y < uint32_t(OVERLAY_CELL_HEIGHT); ++y)
    for (uint32_t x = 0; x < uint32_t(OVERLAY_CELL_WIDTH); ++x) {
      EXPECT_EQ(At(x, y), y == 5 && x >= 1 && x <= 6 ? WHITE : 0u) << x << "," << y;
      EXPECT_EQ(At(2 * OVERLAY_CELL_WIDTH + x, y), At(3 * OVERLAY_CELL_WIDTH + x, y)) << x << "," << y;
    }
  EXPECT_TRUE(At(8 + 2, 2) == WHITE && At(8 + 1, 2) == 0);  // the top bar of the 8, not its corner
  // Nothing outside the four cells.
  EXPECT_TRUE(At(4 * OVERLAY_CELL_WIDTH, 0) == RED && At(0, OVERLAY_CELL_HEIGHT) == RED);
  EXPECT_EQ(state(), before);

  DrawLoadingScreen(W, H, "LOADING", 0.5f);
  Read();
  // The bar spans x 40-120 at y 56-64 in a grey frame; half of it is white.
  EXPECT_TRUE(At(45, 60) == WHITE && At(78, 60) == WHITE);
  EXPECT_TRUE(At(82, 60) == 0 && At(115, 60) == 0 && At(5, 5) == 0);  // cleared, the red is gone
  EXPECT_EQ(At(39, 60), 0x595959u);
  double sum = 0;
  int textLit = 0;
  for (uint32_t y = 30; y < 42; ++y)
    for (uint32_t x = 0; x < W; ++x)
      if (At(x, y) == WHITE) sum += x + 0.5, ++textLit;
  EXPECT_GT(textLit, 30);
  EXPECT_NEAR(sum / textLit, W / 2.0, 4);
  EXPECT_EQ(state(), before);
}

}  // namespace
