// zivi3 --frame: the viewer's loading and frame loop with an offscreen GL context in place of
// the window, and a PNG file in place of the screen; the scene and sound set-up every offscreen
// run shares, and the capture clock. The picture has the settings' size and colour depth, and
// the widescreen band when the settings ask for it.
#include "app/Offscreen.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include <GL/gl.h>

#include "render/Render.h"
#include "sound/Sound.h"
#include "video/Video.h"

namespace {

// Picture counts a whisker off a whole number are that number: a time given as a round number
// of frames lands on the picture that shows it, not the one after.
constexpr double PICTURE_TOLERANCE = 1e-6;

}  // namespace

OffscreenSound::OffscreenSound(const Settings& settings) {
  open = sound::Init(sound::DEVICE_NO_OUTPUT, settings.sampleRate);
  sound::SetStereoSeparation(int32_t(settings.stereoSeparation));
}
OffscreenSound::~OffscreenSound() { sound::Free(); }

OffscreenScene::~OffscreenScene() {
  if (context) {
    platform::MakeOffscreenCurrent(context);
    ReleaseSceneRendering(inspection.scene);
    inspection.system.textureCache.Free();
    platform::DestroyOffscreenContext(context);
  }
}

bool OffscreenScene::Open(const RunOptions& options, std::FILE* err, int* exitCode) {
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

bool OffscreenScene::Render(float time, std::vector<uint8_t>* rgb) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  inspection.scene.RenderFrame(time);
  return platform::ReadOffscreenPixels(context, rgb);
}

void OffscreenScene::PreRoll(uint64_t end, double fps, bool mixSound) {
  const uint32_t msPerFrame = inspection.system.msPerFrame;
  const uint32_t sampleRate = sound::SampleRate();
  Advance(0);
  std::vector<float> dropped;
  for (uint64_t picture = 0; picture < end; ++picture) {
    Advance(float(CaptureLoopTime(picture, fps, msPerFrame, inspection.scene.lastFrame)));
    if (!mixSound || sampleRate == 0) continue;
    const uint64_t frames =
        CaptureSoundStart(picture + 1, sampleRate, fps) - CaptureSoundStart(picture, sampleRate, fps);
    dropped.resize(frames * 2);
    sound::Render(dropped.data(), uint32_t(frames));
  }
}

void OffscreenScene::ReportProblems(std::FILE* err) const {
  for (const Problem& problem : inspection.problems) {
    if (problem.level == PROBLEM_MESSAGE_BOX)
      std::fprintf(err, "zivi3: %s\n", problem.text.c_str());
    else
      std::fprintf(err, "zivi3: [%d] %s\n", problem.level, problem.text.c_str());
  }
}

double CapturePictureTime(uint64_t picture, double fps, uint32_t msPerFrame) {
  return double(picture) * 1000.0 / (double(msPerFrame) * fps);
}

double CaptureLoopTime(uint64_t picture, double fps, uint32_t msPerFrame, float lastFrame) {
  const uint64_t loop = CapturePicturesUpTo(lastFrame, fps, msPerFrame);
  return CapturePictureTime(loop ? picture % loop : picture, fps, msPerFrame);
}

namespace {

// Pictures from the start to time, as a number with a fraction, within what a count can hold.
double PicturesTo(double time, double fps, uint32_t msPerFrame) {
  return std::clamp(time * double(msPerFrame) * fps / 1000.0, -1.0, 1e15);
}

}  // namespace

uint64_t CapturePictureAt(double time, double fps, uint32_t msPerFrame) {
  const double pictures = PicturesTo(time, fps, msPerFrame);
  return pictures > 0 ? uint64_t(std::ceil(pictures - PICTURE_TOLERANCE)) : 0;
}

uint64_t CapturePicturesUpTo(double time, double fps, uint32_t msPerFrame) {
  const double pictures = PicturesTo(time, fps, msPerFrame);
  return pictures > -PICTURE_TOLERANCE ? uint64_t(std::floor(pictures + PICTURE_TOLERANCE)) + 1 : 0;
}

uint64_t CaptureSoundStart(uint64_t picture, uint32_t sampleRate, double fps) {
  return uint64_t(std::llround(double(picture) * double(sampleRate) / fps));
}

std::string CaptureFramePath(const std::string& directory, uint64_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05llu.png", static_cast<unsigned long long>(index));
  return (std::filesystem::path(directory) / name).string();
}

int RunFrame(const RunOptions& options, std::FILE* out, std::FILE* err) {
  OffscreenSound sound(options.settings);
  OffscreenScene scene;
  int exitCode = 0;
  if (!scene.Open(options, err, &exitCode)) return exitCode;
  // The actions see the time before pass as a capture at --fps would show it, so a camera cut,
  // an image sequence or a stopped particle is where it would be.
  const uint64_t before = CapturePictureAt(options.frame, options.captureFps, scene.GetSystem().msPerFrame);
  if (before > CAPTURE_PICTURES_MAX) {
    std::fprintf(err, "zivi3: scene time %g lies more than %llu pictures into the scene\n", double(options.frame),
                 static_cast<unsigned long long>(CAPTURE_PICTURES_MAX));
    return EXIT_USAGE;
  }
  scene.PreRoll(before, options.captureFps, false);
  // Then the frame itself twice, as the player paused there shows it: a camera aiming at a
  // target reads the target's position from the frame before, which is then this same time.
  scene.Advance(options.frame);
  std::vector<uint8_t> rgb;
  if (!scene.Render(options.frame, &rgb)) {
    std::fprintf(err, "zivi3: the frame could not be read back\n");
    return EXIT_OUTPUT_FAILED;
  }
  if (!video::WritePng(options.outPath.c_str(), scene.Width(), scene.Height(), rgb.data())) {
    Log(1, "SYSTEM(Offscreen) - Could not write \"%s\"", options.outPath.c_str());
    std::fprintf(err, "zivi3: could not write %s\n", options.outPath.c_str());
    return EXIT_OUTPUT_FAILED;
  }
  std::fprintf(out, "%s: scene time %g, %ux%u\n", options.outPath.c_str(), double(options.frame), scene.Width(),
               scene.Height());
  return 0;
}
