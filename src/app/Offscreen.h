// Inside the app module: the offscreen runs. A scene is loaded, precalculated and its textures
// uploaded as the viewer does, then frames are rendered into memory and written as PNG files or
// one video file, without a window or a display. Not part of the module's interface (App.h).
//
// Captures follow the player's clock: it adds elapsed whole milliseconds ÷ msPerFrame (33) to
// the scene time, so the player shows scene time T at T × 33 ms. Picture k of a capture at N
// pictures a second shows the scene time the player shows at k / N seconds, k × 1000 / (33 × N)
// frames (the milliseconds unrounded: where the player's millisecond ticks fall depends on when
// it started), with the sound the player plays from k / N to (k + 1) / N seconds. Pictures are
// counted from the scene's first frame whatever the range asked for, so every capture of a
// scene at N pictures a second shows the same pictures at the same scene times.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/Inspect.h"
#include "platform/Platform.h"

// Exit code of an offscreen run whose GL context could not be made or whose picture could not
// be written.
inline constexpr int EXIT_OUTPUT_FAILED = 1;

// More pictures than this in one capture, or before its first picture, is taken for a mistake
// (a last frame of billions).
inline constexpr uint64_t CAPTURE_PICTURES_MAX = 1000000;

// --frame T --out FILE.png: the frame at scene time options.frame, at the settings' size,
// colour depth and widescreen band, after the time before it has passed unseen. 0 when
// written, EXIT_SCENE_FAILED when the scene can't be played, EXIT_OUTPUT_FAILED when no picture
// came of it; the reason goes to err.
int RunFrame(const RunOptions& options, std::FILE* out, std::FILE* err);

// --capture DIR|FILE: the pictures whose scene times lie from options.from (or 0) to
// options.to (or the scene's last frame), options.captureFps a second, as DIR/frame_00000.png
// ... with DIR/audio.wav (DIR is made when missing), or as one video file (.mp4, .webm, .mkv).
// Actions and sound advance unseen through the pictures before the first. A progress line goes
// to err on a terminal (not with --batch); exit codes as for RunFrame.
int RunCapture(const RunOptions& options, std::FILE* out, std::FILE* err);

// Scene time (frames) of capture picture k at fps pictures a second with the player's clock.
double CapturePictureTime(uint64_t picture, double fps, uint32_t msPerFrame);
// The scene time picture k shows: the player's loop starts the scene again at 0 on the picture
// whose time would pass lastFrame, so the pictures of a loop are those up to lastFrame.
double CaptureLoopTime(uint64_t picture, double fps, uint32_t msPerFrame, float lastFrame);
// The first picture whose scene time is time or later (0 for a time before the start), and the
// number of pictures whose scene time is time or earlier.
uint64_t CapturePictureAt(double time, double fps, uint32_t msPerFrame);
uint64_t CapturePicturesUpTo(double time, double fps, uint32_t msPerFrame);
// The first sample frame of picture k's sound: picture k covers the sound up to the start of
// picture k + 1.
uint64_t CaptureSoundStart(uint64_t picture, uint32_t sampleRate, double fps);
// DIR/frame_00000.png for index 0.
std::string CaptureFramePath(const std::string& directory, uint64_t index);

// The sound layer without a device, open for one offscreen run: opened before the scene loads
// (music and sample actions load their files while the scene is read) and closed after the
// scene's actions are gone.
class OffscreenSound {
 public:
  explicit OffscreenSound(const Settings& settings);
  ~OffscreenSound();
  bool open = false;
};

// A scene ready to render offscreen: loaded, precalculated, textures uploaded into the context.
// GL objects are released while the context is still current, before the scene goes.
class OffscreenScene {
 public:
  ~OffscreenScene();
  // False with why on err and the exit code.
  bool Open(const RunOptions& options, std::FILE* err, int* exitCode);
  // Clears as the driver does before every frame, renders the frame at time and reads it back.
  bool Render(float time, std::vector<uint8_t>* rgb);
  // The frame at time passing unseen: what rendering it would leave behind, without drawing.
  void Advance(float time) { inspection.scene.AdvanceFrame(time); }
  // Time passing unseen from the scene's start up to picture end (exclusive) at fps: scene time
  // 0 once (what a first frame drawn twice leaves), then each picture's time, with its sound
  // mixed and dropped when mixSound is set.
  void PreRoll(uint64_t end, double fps, bool mixSound);

  uint32_t Width() const { return platform::OffscreenWidth(context); }
  uint32_t Height() const { return platform::OffscreenHeight(context); }
  const Scene& GetScene() const { return inspection.scene; }
  const System& GetSystem() const { return inspection.system; }

 private:
  // What the loaders warned about: the player would have shown or logged it.
  void ReportProblems(std::FILE* err) const;

  Inspection inspection;
  platform::OffscreenContext* context = nullptr;
};
