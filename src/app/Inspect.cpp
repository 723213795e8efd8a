// Loading a scene as the viewer does (mount, load, precalculate) but without a window, and
// keeping every warning, error and message box of the way for the report.
#include "app/Inspect.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include "lightwave/Lightwave.h"
#include "platform/Platform.h"

namespace {

// The caption Log gives the box of a level-0 line; such a box repeats the line just recorded.
const char* const LOG_BOX_CAPTION = "ZIVI3 Engine";
// What the viewer shows when the scene loader fails.
const char* const SCENE_FAILED_CAPTION = "XR sagt:";
const char* const SCENE_FAILED_TEXT = "Can't load Lightwave 6 scene!";

// Records log lines of levels 0-2 and message boxes while it lives, instead of showing them.
class ProblemRecorder {
 public:
  explicit ProblemRecorder(std::vector<Problem>& problems) : problems_(problems) {
    SetLogListener([this](int level, const char* text) {
      if (level >= 0 && level <= 2) problems_.push_back({level, text});
    });
    platform::SetMessageHook([this](const char* caption, const char* text, platform::MessageIcon) {
      if (std::strcmp(caption, LOG_BOX_CAPTION) == 0 && !problems_.empty() && problems_.back().level == 0 &&
          problems_.back().text == text) {
        return;
      }
      // "caption: text", without doubling a caption's own colon ("XR sagt:").
      std::string line = caption;
      line += (!line.empty() && line.back() == ':') ? " " : ": ";
      problems_.push_back({PROBLEM_MESSAGE_BOX, line + text});
    });
  }
  ~ProblemRecorder() {
    platform::SetMessageHook(nullptr);
    SetLogListener(nullptr);
  }
  ProblemRecorder(const ProblemRecorder&) = delete;
  ProblemRecorder& operator=(const ProblemRecorder&) = delete;

 private:
  std::vector<Problem>& problems_;
};

bool FromViewerIni(const std::string& path, SceneSource& source, std::string& why) {
  source.viewerIni = true;
  ViewerScene viewer;
  if (!ReadViewerIni(path.c_str(), viewer)) {
    std::error_code error;
    why = std::filesystem::exists(path, error)
              ? path + " does not name a scene"
              : "there is no " + path + " here; name a scene, a datafile or a VIEWER.INI";
    return false;
  }
  source.mountMode = MOUNT_DIRECTORY;
  // The file reads as it would to a player started in its folder.
  const std::string iniFolder = SplitScenePath(path).sceneDirectory;
  const std::string& folder = viewer.sceneDirectory;
  const bool absolute = !folder.empty() && (folder[0] == '/' || folder[0] == '\\');
  source.mountPath = absolute ? folder : iniFolder + folder;
  source.sceneName = viewer.sceneFileName;
  return true;
}

// Whether the file at path begins as a scene file does.
bool StartsAsScene(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char magic[4] = {0, 0, 0, 0};
  file.read(magic, sizeof magic);
  return std::memcmp(magic, "LWSC", 4) == 0;
}

// How many whole megabytes bytes are, rounded up.
uint64_t Megabytes(uint64_t bytes) { return (bytes + (1u << 20) - 1) >> 20; }

}  // namespace

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = text[text.size() - n + i], b = suffix[i];
    if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

bool ResolveSceneSource(const std::string& input, const std::string& scene, SceneSource& source, std::string& why) {
  source = SceneSource{};
  source.requested = scene;
  if (!input.empty()) {
    std::error_code error;
    if (std::filesystem::is_directory(input, error)) {
      why = input + " is a folder: name the scene file (.lws) in it";
      return false;
    }
    std::ifstream file(input, std::ios::binary);
    char magic[4] = {0, 0, 0, 0};
    file.read(magic, sizeof magic);
    if (file.is_open() && std::memcmp(magic, "VPF", 3) == 0) {
      source.mountMode = MOUNT_DATAFILE;
      source.mountPath = input;
      return true;
    }
    // A VIEWER.INI that isn't there says so in its own box.
    if (!file.is_open() && !EndsWithNoCase(input, ".ini")) {
      why = "can't open " + input;
      return false;
    }
  }
  const bool ini = input.empty() || (EndsWithNoCase(input, ".ini") && !StartsAsScene(input));
  if (ini) {
    if (!FromViewerIni(input.empty() ? VIEWER_INI : input, source, why)) return false;
  } else {
    // Anything else is taken for a scene; the scene loader says what is wrong with it.
    ViewerScene named = SplitScenePath(input);
    source.mountPath = named.sceneDirectory;
    source.sceneName = named.sceneFileName;
  }
  if (!scene.empty()) {
    why = "--scene chooses among the scenes of a datafile, and " + (input.empty() ? std::string(VIEWER_INI) : input) +
          " is none";
    return false;
  }
  return true;
}

bool MountSceneSource(SceneSource& source, Vfs& vfs, std::string& why) {
  const bool datafile = source.mountMode == MOUNT_DATAFILE;
  const std::string what = datafile ? "the datafile " + source.mountPath
                                    : "the folder '" + (source.mountPath.empty() ? std::string(".") : source.mountPath) + "'";
  if (!vfs.Mount(source.mountMode, source.mountPath.c_str())) {
    if (vfs.failure == VFS_FAILED_OVER_BUDGET) {
      why = what + " needs " + std::to_string(Megabytes(vfs.mountBytes)) + " MB of memory, more than the " +
            std::to_string(vfs.memoryBudget >> 20) + " MB allowed (--max-memory MB)";
    } else {
      why = what + " could not be read";
    }
    return false;
  }
  if (!datafile) return true;
  if (!ChooseDatafileScene(vfs, source.requested, source.choice, why)) {
    why = source.mountPath + ": " + why;
    return false;
  }
  source.sceneName = source.choice.scene;
  return true;
}

namespace {

bool InspectSteps(const RunOptions& options, bool precalculate, Inspection& inspection) {
  inspection.vfs.memoryBudget = options.memoryBudget;
  if (!ResolveSceneSource(options.input, options.scene, inspection.source, inspection.why)) return false;
  if (!MountSceneSource(inspection.source, inspection.vfs, inspection.why)) return false;
  inspection.mounted = true;

  inspection.system.ApplySettings(options.settings);
  inspection.scene.AttachToSystem(&inspection.system);
  inspection.loaded = inspection.scene.Load(&inspection.vfs, inspection.source.sceneName.c_str());
  if (!inspection.loaded) {
    // The box the viewer shows at this point, so the report lists what a player would see.
    platform::ShowMessage(SCENE_FAILED_CAPTION, SCENE_FAILED_TEXT, platform::ICON_ERROR);
    inspection.why = "the scene " + inspection.source.sceneName + " did not load";
    return false;
  }
  inspection.pointCacheFiles = PointCacheFiles(inspection.scene);
  if (!precalculate) return true;

  inspection.scene.Precalc(&inspection.vfs);
  inspection.precalculated = true;
  if (!inspection.scene.activeCamera) {
    // The viewer ends here too: a frame can't be drawn without a camera.
    inspection.why = "the scene has no camera to play from";
    return false;
  }
  return true;
}

}  // namespace

bool InspectScene(const RunOptions& options, bool precalculate, Inspection& inspection) {
  ProblemRecorder recorder(inspection.problems);
  try {
    return InspectSteps(options, precalculate, inspection);
  } catch (const std::bad_alloc&) {
    // Whatever was half built goes with the inspection; the report says why it stopped.
    inspection.why = "out of memory while loading the scene";
    return false;
  }
}

std::string DescribeItem(const void* item, uint8_t kind) {
  if (!item) return "-";
  switch (kind) {
    case ITEM_OBJECT: {
      uint32_t index = static_cast<const SceneObject*>(item)->itemIndex;
      return index == NO_ITEM_INDEX ? "object (unnumbered)" : "object " + std::to_string(index);
    }
    case ITEM_CAMERA:
      return "camera " + std::to_string(static_cast<const Camera*>(item)->cameraIndex);
    case ITEM_LIGHT:
      return "light " + std::to_string(static_cast<const Light*>(item)->lightIndex);
  }
  return "?";
}

std::vector<std::string> PointCacheFiles(const Scene& scene) {
  std::vector<std::string> names;
  for (const auto& object : scene.objects) {
    if (object->pointCache) names.push_back(object->pointCache->mddName);
  }
  return names;
}
