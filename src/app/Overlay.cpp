// The overlay font and its drawing with GL quads in a pixel-exact orthographic projection.
#include "app/Overlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int GLYPH_ROWS = 7;
// Where the glyph sits in its cell: one column in, two rows down. Each lit pixel is drawn two
// columns wide, a bold face like the one the overlay had.
constexpr int GLYPH_LEFT = 1, GLYPH_TOP = 2, BOLD = 2;

struct Glyph {
  char character;
  uint8_t rows[GLYPH_ROWS];  // top row first; bit 4 is the leftmost column
};

const Glyph FONT[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
};

const Glyph* FindGlyph(char c) {
  if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  for (const Glyph& glyph : FONT) {
    if (glyph.character == c) return &glyph;
  }
  return nullptr;
}

void Rectangle(float left, float top, float right, float bottom) {
  glVertex2f(left, top);
  glVertex2f(left, bottom);
  glVertex2f(right, bottom);
  glVertex2f(right, top);
}

// Saves what the overlay changes and sets up a projection of whole pixels, y growing downward.
class PixelSpace {
 public:
  PixelSpace(uint32_t width, uint32_t height) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, double(width), double(height), 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, GLsizei(width), GLsizei(height));
    for (GLenum capability : {GL_LIGHTING, GL_DEPTH_TEST, GL_CULL_FACE, GL_TEXTURE_2D, GL_BLEND, GL_ALPHA_TEST,
                              GL_FOG, GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_COLOR_MATERIAL}) {
      glDisable(capability);
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_FLAT);
  }
  ~PixelSpace() {
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
  }
  PixelSpace(const PixelSpace&) = delete;
  PixelSpace& operator=(const PixelSpace&) = delete;
};

// Background and glyphs of text at (x, y), inside glBegin(GL_QUADS).
void EmitText(int x, int y, const char* text) {
  const int cells = int(std::strlen(text));
  glColor3f(0, 0, 0);
  Rectangle(float(x), float(y), float(x + cells * OVERLAY_CELL_WIDTH), float(y + OVERLAY_CELL_HEIGHT));
  glColor3f(1, 1, 1);
  for (int cell = 0; cell < cells; ++cell) {
    const Glyph* glyph = FindGlyph(text[cell]);
    if (!glyph) continue;
    for (int row = 0; row < GLYPH_ROWS; ++row) {
      for (int column = 0; column < 5; ++column) {
        if (!(glyph->rows[row] & (0x10 >> column))) continue;
        const float left = float(x + cell * OVERLAY_CELL_WIDTH + GLYPH_LEFT + column);
        const float top = float(y + GLYPH_TOP + row);
        Rectangle(left, top, left + BOLD, top + 1);
      }
    }
  }
}

}  // namespace

void DrawOverlayText(uint32_t windowWidth, uint32_t windowHeight, int x, int y, const char* text) {
  if (!text || !*text || windowWidth == 0 || windowHeight == 0) return;
  PixelSpace space(windowWidth, windowHeight);
  glBegin(GL_QUADS);
  EmitText(x, y, text);
  glEnd();
}

void DrawLoadingScreen(uint32_t windowWidth, uint32_t windowHeight, const char* text, float fraction) {
  if (windowWidth == 0 || windowHeight == 0) return;
  PixelSpace space(windowWidth, windowHeight);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!(fraction >= 0)) fraction = 0;
  fraction = std::min(fraction, 1.0f);

  // A bar of half the window's width, centred, with the text above it.
  const float width = float(windowWidth), height = float(windowHeight);
  const float left = width / 4, right = width * 3 / 4;
  const float top = std::max(0.0f, height / 2 - 4), bottom = top + 8;
  glBegin(GL_QUADS);
  glColor3f(0.35f, 0.35f, 0.35f);
  Rectangle(left - 1, top - 1, right + 1, bottom + 1);
  glColor3f(0, 0, 0);
  Rectangle(left, top, right, bottom);
  glColor3f(1, 1, 1);
  Rectangle(left, top, left + (right - left) * fraction, bottom);
  if (text && *text) {
    const int textWidth = int(std::strlen(text)) * OVERLAY_CELL_WIDTH;
    EmitText(int(width / 2) - textWidth / 2, int(top) - 2 * OVERLAY_CELL_HEIGHT, text);
  }
  glEnd();
}
