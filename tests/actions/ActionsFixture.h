// What the action tests share: files through a Vfs, action nulls made from a scene line, the log.
#pragma once

#include "actions/Actions.h"
#include "log/Log.h"
#include "support/SceneFixture.h"

#include <sstream>

namespace actions_test {

using test::Lws;

// Files, Vfs, System and log for action tests; Scene-owning fixtures add their scene.
class ActionWorkspace {
 public:
  ActionWorkspace() {
    ResetActionRandom();
    ResetMusicTable();
    SetLogListener([this](int level, const char* text) { heard.push_back({level, text}); });
  }
  ~ActionWorkspace() {
    SetLogListener({});
    ResetMusicTable();
  }

  void AddFile(const std::string& name, const std::vector<uint8_t>& bytes) { test::WriteBytes(dir / name, bytes); }
  void AddText(const std::string& name, const std::string& text) { test::WriteText(dir / name, text); }
  void Mount() {
    vfs.Close();
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()));
  }

  // A camera-less scene of a unit square (and more lines) lasting lastFrame frames, for particles.
  void AddSquareScene(const std::string& name, int lastFrame = 60, const std::vector<std::string>& more = {}) {
    test::LwoWriter w;
    w.Layer(0, 0, 0, 0, 0, "square").Points({-0.5f, -0.5f, 0, -0.5f, 0.5f, 0, 0.5f, 0.5f, 0, 0.5f, -0.5f, 0});
    w.Polygons("FACE", {{0, 1, 2}, {0, 2, 3}, {2, 1, 0}, {3, 2, 0}});  // wound both ways: seen from either side
    AddFile("square.lwo", w.File());
    std::vector<std::string> lines = {"FramesPerSecond 30", "PreviewLastFrame " + std::to_string(lastFrame),
                                      "LoadObjectLayer 1 square.lwo", "ShadowOptions 4"};
    lines.insert(lines.end(), more.begin(), more.end());
    AddText(name, Lws(lines));
  }

  // A null made as the scene loader makes one, from its line "keyword name parameters".
  SceneObject* AddActionNull(Scene& scene, const std::string& line) {
    std::istringstream words(line);
    std::string keyword, name;
    words >> keyword >> name;
    SceneObject* null = scene.AddObject();
    null->flags |= OBJECT_HIDDEN | OBJECT_NULL;
    null->itemName = name;
    CreateNullAction(line.c_str(), keyword.c_str(), name.c_str(), null, &vfs, &scene);
    return null;
  }

  bool Heard(int level, const std::string& part) const {
    for (const auto& [l, text] : heard)
      if (l == level && text.find(part) != std::string::npos) return true;
    return false;
  }

  test::TempDir dir;
  test::MessageCapture boxes;
  LogSystem log;
  System system;
  Vfs vfs{&system};
  std::vector<std::pair<int, std::string>> heard;
};

// Steps of a channel: value from each key's time on.
inline void Steps(std::unique_ptr<Envelope>& slot, const std::vector<std::pair<float, float>>& keys) {
  slot = std::make_unique<Envelope>();
  for (const auto& [time, value] : keys)
    slot->keys.push_back(test::Key(time, value, slot->keys.empty() ? SHAPE_LINEAR : SHAPE_STEPPED));
}

template <typename T>
T* ActionOf(const SceneObject* object) {
  return dynamic_cast<T*>(object->action.get());
}

}  // namespace actions_test
