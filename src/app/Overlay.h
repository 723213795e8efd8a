// Text and the loading screen, drawn with OpenGL over the frame: a built-in 5 × 7 font in
// 8 × 12 pixel cells, white on black, so the window needs no font library.
//
// Every call keeps the GL state it found (matrices, viewport, enables, colour) so the renderer's
// next frame is untouched. Needs a current context; runs on the render thread.
#pragma once

#include <cstdint>

inline constexpr int OVERLAY_CELL_WIDTH = 8;
inline constexpr int OVERLAY_CELL_HEIGHT = 12;

// Draws text with the top-left corner of its first cell at (x, y) pixels from the top-left of
// a windowWidth × windowHeight window. Lower-case letters are drawn as capitals; characters the
// font lacks as blank cells. The cells' background is black (opaque).
void DrawOverlayText(uint32_t windowWidth, uint32_t windowHeight, int x, int y, const char* text);

// Clears the window to black and draws text above a progress bar filled to fraction (0-1).
void DrawLoadingScreen(uint32_t windowWidth, uint32_t windowHeight, const char* text, float fraction);
