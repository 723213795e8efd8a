// Inside the app module: the offscreen runs. A scene is loaded, precalculated and its textures
// uploaded as the viewer does, then frames are rendered into memory and written as PNG files,
// without a window or a display. Not part of the module's interface (App.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/App.h"

// Exit code of an offscreen run whose GL context could not be made or whose picture could not
// be written.
inline constexpr int EXIT_OUTPUT_FAILED = 1;

// --frame T --out FILE.png: the frame at scene time options.frame, at the settings' size,
// colour depth and widescreen band. 0 when written, EXIT_SCENE_FAILED when the scene can't be
// played, EXIT_OUTPUT_FAILED when no picture came of it; the reason goes to err.
int RunFrame(const RunOptions& options, std::FILE* out, std::FILE* err);

// --capture DIR: every frame of a fixed-rate walk through scene time, options.captureFps
// pictures per second of scene time, from options.from (or 0) to options.to (or the scene's
// last frame) inclusive, as DIR/frame_00000.png, DIR/frame_00001.png ... DIR is made when
// missing. A progress line goes to err; exit codes as for RunFrame.
int RunCapture(const RunOptions& options, std::FILE* out, std::FILE* err);

// The scene times a capture visits: from, from + step, ... up to to inclusive, where step is
// engineSpeed / fps scene frames. None when to is before from.
uint32_t CaptureFrameCount(float from, float to, float fps, float engineSpeed);
float CaptureFrameTime(uint32_t index, float from, float fps, float engineSpeed);
// DIR/frame_00000.png for index 0.
std::string CaptureFramePath(const std::string& directory, uint32_t index);
