// Loading a scene as the viewer does (mount, load, precalculate) but without a window, and
// keeping every warning, error and message box of the way for the report.
#include "app/Inspect.h"

#include <cstring>
#include <filesystem>
#include <fstream>

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

bool FromViewerIni(const char* path, SceneSource& source, std::string& why) {
  ViewerScene viewer;
  if (!ReadViewerIni(path, viewer)) {
    std::error_code error;
    why = std::filesystem::exists(path, error)
              ? std::string(path) + " does not name a scene"
              : std::string("there is no ") + path + " here; name a scene, a datafile or a VIEWER.INI";
    return false;
  }
  source.mountMode = MOUNT_DIRECTORY;
  source.mountPath = viewer.sceneDirectory;
  source.sceneName = viewer.sceneFileName;
  return true;
}

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

bool ResolveSceneSource(const std::string& input, SceneSource& source, std::string& why) {
  source = SceneSource{};
  if (input.empty()) return FromViewerIni(VIEWER_INI, source, why);

  std::error_code error;
  if (std::filesystem::is_directory(input, error)) {
    why = input + " is a folder: name the scene file (.lws) in it";
    return false;
  }
  std::ifstream file(input, std::ios::binary);
  if (!file) {
    why = "can't open " + input;
    return false;
  }
  char magic[4] = {0, 0, 0, 0};
  file.read(magic, sizeof magic);
  if (std::memcmp(magic, "VPF", 3) == 0) {
    source.mountMode = MOUNT_DATAFILE;
    source.mountPath = input;
    return true;
  }
  if (std::memcmp(magic, "LWSC", 4) != 0 && EndsWithNoCase(input, ".ini")) {
    return FromViewerIni(input.c_str(), source, why);
  }
  // Anything else is taken for a scene; the scene loader says what is wrong with it.
  ViewerScene scene = SplitScenePath(input);
  source.mountMode = MOUNT_DIRECTORY;
  source.mountPath = scene.sceneDirectory;
  source.sceneName = scene.sceneFileName;
  return true;
}

bool MountSceneSource(SceneSource& source, Vfs& vfs, std::string& why) {
  const bool datafile = source.mountMode == MOUNT_DATAFILE;
  if (!vfs.Mount(source.mountMode, source.mountPath.c_str())) {
    why = datafile ? "the datafile " + source.mountPath + " could not be read"
                   : "the folder '" + (source.mountPath.empty() ? std::string(".") : source.mountPath) +
                         "' could not be read";
    return false;
  }
  if (datafile) {
    for (const auto& file : vfs.files) {
      if (EndsWithNoCase(file->name, ".lws")) {
        source.sceneName = file->name;
        return true;
      }
    }
    why = "the datafile " + source.mountPath + " holds no scene (.lws member)";
    return false;
  }
  return true;
}

bool InspectScene(const RunOptions& options, bool precalculate, Inspection& inspection) {
  ProblemRecorder recorder(inspection.problems);
  if (!ResolveSceneSource(options.input, inspection.source, inspection.why)) return false;
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
