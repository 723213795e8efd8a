// zivi3 --frame and --capture: the viewer's loading and frame loop with an offscreen GL context
// in place of the window, and PNG files in place of the screen. The picture has the settings'
// size and colour depth, and the widescreen band when the settings ask for it.
#include "app/Offscreen.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include <GL/gl.h>

#include "app/Inspect.h"
#include "platform/Platform.h"
#include "render/Render.h"
#include "sound/Sound.h"

namespace {

// More pictures than this in one capture is taken for a mistake (a last frame of billions).
constexpr uint64_t CAPTURE_FRAMES_MAX = 1000000;

// A scene ready to render offscreen: loaded, precalculated, textures uploaded into the context.
// GL objects are released while the context is still current, before the scene goes.
class OffscreenScene {
 public:
  ~OffscreenScene() {
    if (context) {
      platform::MakeOffscreenCurrent(context);
      ReleaseSceneRendering(inspection.scene);
      inspection.system.textureCache.Free();
      platform::DestroyOffscreenContext(context);
    }
  }

  // False with why on err.
  bool Open(const RunOptions& options, std::FILE* err, int* exitCode) {
    const Settings& settings = options.settings;
    if (!InspectScene(options, true, inspection)) {
      std::fprintf(err, "zivi3: %s\n", inspection.why.c_str());
      *exitCode = EXIT_SCENE_FAILED;
      return false;
    }
    ReportProblems(err);
    context = platform::CreateOffscreenContext(settings.width, settings.height, settings.colourDepth, settings.samples,
                                               options.glDevice);
    if (!context) {
      const char* why = platform::OffscreenError();
      Log(1, "SYSTEM(Offscreen) - Could not create a %ux%u offscreen GL context: %s", settings.width, settings.height,
          why);
      std::fprintf(err, "zivi3: could not create a %ux%u offscreen GL context: %s\n", settings.width, settings.height,
                   why);
      *exitCode = EXIT_OUTPUT_FAILED;
      return false;
    }
    Log(3, "SYSTEM(Offscreen) - GL device: %s", platform::OffscreenDevice(context));
    LogGlContext("Offscreen");
    SetupRenderState();
    // The cache binds the layers of the scenes registered with it.
    TextureCache& textures = inspection.system.textureCache;
    if (std::find(textures.scenes.begin(), textures.scenes.end(), &inspection.scene) == textures.scenes.end())
      textures.AddScene(&inspection.scene);
    textures.Load(&inspection.vfs);
    // The scene loader took the viewports without a context; they reach GL now.
    SetupViewports(inspection.scene);
    return true;
  }

  // Clears as the driver does before every frame, renders the frame at time and reads it back.
  bool Render(float time, std::vector<uint8_t>* rgb) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    inspection.scene.RenderFrame(time);
    return platform::ReadOffscreenPixels(context, rgb);
  }

  uint32_t Width() const { return platform::OffscreenWidth(context); }
  uint32_t Height() const { return platform::OffscreenHeight(context); }
  const Scene& GetScene() const { return inspection.scene; }
  const System& GetSystem() const { return inspection.system; }

 private:
  // What the loaders warned about: the player would have shown or logged it.
  void ReportProblems(std::FILE* err) const {
    for (const Problem& problem : inspection.problems) {
      if (problem.level == PROBLEM_MESSAGE_BOX)
        std::fprintf(err, "zivi3: %s\n", problem.text.c_str());
      else
        std::fprintf(err, "zivi3: [%d] %s\n", problem.level, problem.text.c_str());
    }
  }

  Inspection inspection;
  platform::OffscreenContext* context = nullptr;
};

// The sound layer without a device, open for one offscreen run: opened before the scene loads
// (music and sample actions load their files while the scene is read) and closed after the
// scene's actions are gone.
class OffscreenSound {
 public:
  explicit OffscreenSound(const Settings& settings) {
    open = sound::Init(sound::DEVICE_NO_OUTPUT, settings.sampleRate);
    sound::SetStereoSeparation(int32_t(settings.stereoSeparation));
  }
  ~OffscreenSound() { sound::Free(); }
  bool open = false;
};

// Capture picture index covers the sound frames from here up to the start of index + 1, so the
// picture and the sound at index / fps seconds belong together.
uint64_t CaptureSoundStart(uint32_t index, uint32_t sampleRate, float fps) {
  return uint64_t(std::llround(double(index) * double(sampleRate) / double(fps)));
}

bool WriteFrame(const OffscreenScene& scene, const std::string& path, const std::vector<uint8_t>& rgb,
                std::FILE* err) {
  if (platform::WritePng(path.c_str(), scene.Width(), scene.Height(), rgb.data())) return true;
  Log(1, "SYSTEM(Offscreen) - Could not write \"%s\"", path.c_str());
  std::fprintf(err, "zivi3: could not write %s\n", path.c_str());
  return false;
}

}  // namespace

uint32_t CaptureFrameCount(float from, float to, float fps, float engineSpeed) {
  if (!(to >= from) || !(fps > 0) || !(engineSpeed > 0)) return 0;
  // A whisker of tolerance, so a walk that lands on the last frame by arithmetic includes it.
  const double steps = std::floor((double(to) - double(from)) * double(fps) / double(engineSpeed) + 1e-6);
  return steps + 1 > double(CAPTURE_FRAMES_MAX) ? uint32_t(CAPTURE_FRAMES_MAX) + 1 : uint32_t(steps) + 1;
}

float CaptureFrameTime(uint32_t index, float from, float fps, float engineSpeed) {
  return float(double(from) + double(index) * double(engineSpeed) / double(fps));
}

std::string CaptureFramePath(const std::string& directory, uint32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05u.png", index);
  return (std::filesystem::path(directory) / name).string();
}

int RunFrame(const RunOptions& options, std::FILE* out, std::FILE* err) {
  OffscreenSound sound(options.settings);
  OffscreenScene scene;
  int exitCode = 0;
  if (!scene.Open(options, err, &exitCode)) return exitCode;
  // Drawn twice: a camera aiming at a target reads the target's position from the frame before,
  // which then is this same time rather than no frame at all.
  std::vector<uint8_t> rgb;
  if (!scene.Render(options.frame, &rgb) || !scene.Render(options.frame, &rgb)) {
    std::fprintf(err, "zivi3: the frame could not be read back\n");
    return EXIT_OUTPUT_FAILED;
  }
  if (!WriteFrame(scene, options.outPath, rgb, err)) return EXIT_OUTPUT_FAILED;
  std::fprintf(out, "%s: scene time %g, %ux%u\n", options.outPath.c_str(), double(options.frame), scene.Width(),
               scene.Height());
  return 0;
}

int RunCapture(const RunOptions& options, std::FILE* out, std::FILE* err) {
  const uint32_t sampleRate = options.settings.sampleRate;
  OffscreenSound sound(options.settings);
  OffscreenScene scene;
  int exitCode = 0;
  if (!scene.Open(options, err, &exitCode)) return exitCode;

  const float speed = scene.GetSystem().engineSpeed;
  const float from = options.fromGiven ? options.from : 0.0f;
  const float to = options.toGiven ? options.to : scene.GetScene().lastFrame;
  const uint32_t count = CaptureFrameCount(from, to, options.captureFps, speed);
  if (count == 0) {
    std::fprintf(err, "zivi3: nothing to capture: the walk from %g to %g is empty\n", double(from), double(to));
    return EXIT_USAGE;
  }
  if (count > CAPTURE_FRAMES_MAX) {
    std::fprintf(err, "zivi3: capturing %g to %g at %g fps would write more than %llu pictures; use --to or --fps\n",
                 double(from), double(to), double(options.captureFps), static_cast<unsigned long long>(CAPTURE_FRAMES_MAX));
    return EXIT_USAGE;
  }
  std::error_code error;
  std::filesystem::create_directories(options.captureDirectory, error);
  if (!std::filesystem::is_directory(options.captureDirectory, error)) {
    std::fprintf(err, "zivi3: can't make the folder %s\n", options.captureDirectory.c_str());
    return EXIT_OUTPUT_FAILED;
  }

  // The progress line rewrites itself on a terminal; elsewhere only the summary is written.
  const bool terminal = isatty(fileno(err)) != 0;
  std::vector<uint8_t> rgb;
  const std::string audioPath = (std::filesystem::path(options.captureDirectory) / "audio.wav").string();
  sound::WavWriter audio;
  if (sound.open && !audio.Open(audioPath.c_str(), sampleRate)) {
    std::fprintf(err, "zivi3: could not write %s\n", audioPath.c_str());
    return EXIT_OUTPUT_FAILED;
  }
  std::vector<float> mixed;
  for (uint32_t index = 0; index < count; ++index) {
    const float time = CaptureFrameTime(index, from, options.captureFps, speed);
    // The first frame is drawn twice, for the same reason as --frame's.
    if ((index == 0 && !scene.Render(time, &rgb)) || !scene.Render(time, &rgb)) {
      if (terminal) std::fputc('\n', err);
      std::fprintf(err, "zivi3: frame %u could not be read back\n", index);
      return EXIT_OUTPUT_FAILED;
    }
    if (!WriteFrame(scene, CaptureFramePath(options.captureDirectory, index), rgb, err)) return EXIT_OUTPUT_FAILED;
    if (audio.IsOpen()) {
      const uint64_t frames = CaptureSoundStart(index + 1, sampleRate, options.captureFps) -
                              CaptureSoundStart(index, sampleRate, options.captureFps);
      mixed.resize(frames * 2);
      sound::Render(mixed.data(), uint32_t(frames));
      if (!audio.Append(mixed.data(), uint32_t(frames))) {
        std::fprintf(err, "zivi3: could not write %s\n", audioPath.c_str());
        return EXIT_OUTPUT_FAILED;
      }
    }
    if (terminal) {
      std::fprintf(err, "\rzivi3: frame %u of %u (scene time %.2f)", index + 1, count, double(time));
      std::fflush(err);
    }
  }
  if (terminal) std::fputc('\n', err);
  if (audio.IsOpen() && !audio.Close()) {
    std::fprintf(err, "zivi3: could not write %s\n", audioPath.c_str());
    return EXIT_OUTPUT_FAILED;
  }
  std::fprintf(out, "%s: %u frames, scene time %g to %g at %g fps, %ux%u\n", options.captureDirectory.c_str(), count,
               double(from), double(CaptureFrameTime(count - 1, from, options.captureFps, speed)),
               double(options.captureFps), scene.Width(), scene.Height());
  return 0;
}
