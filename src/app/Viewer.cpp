// Playing a demo in a window: the entry of a play run (setup dialog, System, exit code), and the
// viewer driver that loads the scene on the render thread and draws its frames.
#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "app/App.h"
#include "app/Inspect.h"
#include "render/Render.h"

namespace {

const char* const SCENE_FAILED_CAPTION = "XR sagt:";
const char* const SCENE_FAILED_TEXT = "Can't load Lightwave 6 scene!";

// The loading screen in the window and a line on the terminal for each step of the load, the
// one long wait of a run.
class LoadingProgress {
 public:
  LoadingProgress(Player& player, const std::string& name)
      : player_(player), name_(name), start_(ProcessMilliseconds()) {}

  void Step(const char* screen, float fraction, const char* line = nullptr) {
    player_.system.ShowProgress(screen, fraction);
    if (line) {
      std::fprintf(player_.err, "zivi3: loading %s: %s\n", name_.c_str(), line);
      std::fflush(player_.err);
    }
  }
  void Ready() {
    std::fprintf(player_.err, "zivi3: %s ready in %.2f s\n", name_.c_str(),
                 double(ProcessMilliseconds() - start_) / 1000.0);
    std::fflush(player_.err);
  }

 private:
  Player& player_;
  std::string name_;
  uint32_t start_;
};

// After a failed load: the scene's contents and the files go, as ViewerCleanup will repeat.
uint32_t SceneFailed(Player& player, uint32_t code) {
  player.scene.Free();
  player.vfs.Close();
  return code;
}

}  // namespace

namespace {

// Everything before the first frame: the scene's source, the mount, the load, the
// precalculation and the textures. 0 when the scene is ready to play.
uint32_t LoadForPlay(Player& player) {
  System& system = player.system;
  Scene& scene = player.scene;

  // Where the scene comes from: VIEWER.INI (shown as its own boxes when it fails), or the
  // scene or datafile named on the command line.
  SceneSource source;
  std::string why;
  if (!ResolveSceneSource(player.input, player.requestedScene, source, why)) {
    if (source.viewerIni) return EXIT_INI_FAILED;
    std::fprintf(player.err, "zivi3: %s\n", why.c_str());
    platform::ShowMessage(SCENE_FAILED_CAPTION, SCENE_FAILED_TEXT, platform::ICON_ERROR);
    return SceneFailed(player, EXIT_SCENE_FAILED);
  }

  const std::string name = source.mountMode == MOUNT_DATAFILE ? source.mountPath : source.sceneName;
  LoadingProgress progress(player, name);
  progress.Step("READING FILES", 0.05f);
  if (!MountSceneSource(source, player.vfs, why)) {
    // A failed mount has shown its own box; a datafile without a scene to play has none.
    std::fprintf(player.err, "zivi3: %s\n", why.c_str());
    platform::ShowMessage(SCENE_FAILED_CAPTION, SCENE_FAILED_TEXT, platform::ICON_ERROR);
    return SceneFailed(player, EXIT_SCENE_FAILED);
  }
  const std::string filesLine = std::to_string(player.vfs.Count()) + " files read";
  progress.Step("LOADING SCENE", 0.25f, filesLine.c_str());

  scene.AttachToSystem(&system);
  // The cache binds the texture layers of the scenes registered with it.
  system.textureCache.AddScene(&scene);
  if (!scene.Load(&player.vfs, source.sceneName.c_str())) {
    std::fprintf(player.err, "zivi3: the scene %s did not load\n", source.sceneName.c_str());
    platform::ShowMessage(SCENE_FAILED_CAPTION, SCENE_FAILED_TEXT, platform::ICON_ERROR);
    return SceneFailed(player, EXIT_SCENE_FAILED);
  }
  const std::string sceneLine = "scene read (" + std::to_string(scene.objects.size()) + " objects, " +
                                std::to_string(scene.cameras.size()) + " cameras, " +
                                std::to_string(scene.lights.size()) + " lights)";
  progress.Step("PRECALCULATING", 0.5f, sceneLine.c_str());

  scene.Precalc(&player.vfs);
  if (!scene.activeCamera) {
    // The precalculation has said so in a box: there is nothing to draw the frames from.
    std::fprintf(player.err, "zivi3: the scene %s has no camera to play from\n", source.sceneName.c_str());
    return SceneFailed(player, EXIT_SCENE_FAILED);
  }
  progress.Step("LOADING TEXTURES", 0.75f, "precalculated");

  system.textureCache.Load(&player.vfs);
  // The scene loader took the viewports without a context; they reach GL now.
  SetupViewports(scene);
  const std::string texturesLine = std::to_string(system.textureCache.entries.size()) + " textures uploaded";
  progress.Step("READY", 1.0f, texturesLine.c_str());
  progress.Ready();
  return 0;
}

}  // namespace

uint32_t ViewerDriver(Player& player, std::atomic<uint32_t>& runFlags) {
  System& system = player.system;
  uint32_t loaded = 0;
  try {
    loaded = LoadForPlay(player);
  } catch (const std::bad_alloc&) {
    // No loader may end the run by running out of memory: the load fails as any other would.
    Log(1, "SYSTEM(ViewerDriver) - Out of memory while loading the scene");
    std::fprintf(player.err, "zivi3: out of memory while loading the scene\n");
    platform::ShowMessage(SCENE_FAILED_CAPTION, SCENE_FAILED_TEXT, platform::ICON_ERROR);
    loaded = SceneFailed(player, EXIT_SCENE_FAILED);
  }
  if (loaded != 0) return loaded;

  glClearColor(0, 0, 0, 1);
  system.clock.StartPlayback();
  return RunFrameLoop(
      runFlags, system.clock, player.scene.lastFrame,
      [&](float time) {
        system.Clear();
        player.scene.RenderFrame(time);
      },
      [&] { system.Present(); });
}

void ViewerCleanup(Player& player) {
  ReleaseSceneRendering(player.scene);
  player.system.textureCache.Free();
  player.scene.Free();
  player.vfs.Close();
}

int PlaySystem(System& system, LogSystem& log, const RunOptions& options, ViewerProcedure driver,
               CleanupProcedure cleanup) {
  uint32_t logFlags = LOG_FILE;
  if (options.console) logFlags |= LOG_CONSOLE;
  if (system.Init(SYSTEM_TITLE, options.settings, &log, logFlags, options.logPath.c_str()) != 0) return EXIT_NOT_STARTED;
  system.SetEngineSpeed(30);
  system.Run(std::move(driver), std::move(cleanup));
  system.Done();
  // A failed load ends the run as a failure, not as a normal end; a reported crash ends it in
  // order, with 0.
  const int code = system.crashed ? 0 : int(system.driverResult);
  // What a faulting cleanup left half freed must not be freed again on the way out.
  if (system.cleanupAbandoned) std::_Exit(code);
  return code;
}

int RunPlay(const RunOptions& options, std::FILE* err) {
  if (!platform::HasDisplay()) {
    std::fprintf(err,
                 "zivi3: playing needs a display, and none was found (DISPLAY is not set).\n"
                 "Try --capture demo.mp4 (or a folder) to render the demo into a video without one.\n");
    return EXIT_USAGE;
  }
  RunOptions chosen = options;
  if (!options.noSetup) {
    Settings& s = chosen.settings;
    platform::DialogChoices choices;
    choices.width = s.width;
    choices.height = s.height;
    choices.colourDepth = s.colourDepth;
    choices.sampleRate = s.sampleRate;
    choices.use16Bit = s.use16Bit != 0;
    choices.stereo = s.stereo != 0;
    choices.bilinear = s.bilinear != 0;
    choices.mipMapping = s.mipMapping != 0;
    choices.fullscreen = s.fullscreen != 0;
    choices.noSound = s.noSound != 0;
    choices.lightwave = s.lightwave;
    const platform::DialogResult result = platform::ShowSetupDialog(choices);
    if (result == platform::DIALOG_EXIT) return EXIT_NOT_STARTED;
    // A dialog that can't be shown counts as Go! with the settings as they are.
    if (result == platform::DIALOG_GO) {
      s.width = choices.width;
      s.height = choices.height;
      s.colourDepth = choices.colourDepth;
      s.sampleRate = choices.sampleRate;
      s.use16Bit = choices.use16Bit;
      s.stereo = choices.stereo;
      s.bilinear = choices.bilinear;
      s.mipMapping = choices.mipMapping;
      s.fullscreen = choices.fullscreen;
      s.noSound = choices.noSound;
      s.lightwave = choices.lightwave;
    }
  }

  Player player;
  player.input = chosen.input;
  player.requestedScene = chosen.scene;
  player.vfs.memoryBudget = chosen.memoryBudget;
  player.err = err;
  return PlaySystem(
      player.system, player.log, chosen, [&player](std::atomic<uint32_t>& runFlags) { return ViewerDriver(player, runFlags); },
      [&player] { ViewerCleanup(player); });
}
