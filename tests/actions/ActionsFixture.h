// What the action tests share: files through a Vfs, action nulls made from a scene line, the log
// heard back; the program-wide action state starts afresh for every test.
#pragma once

#include "actions/Actions.h"
#include "app/System.h"
#include "log/Log.h"
#include "scene/Scene.h"
#include "support/SceneFixture.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace actions_test {

using test::Lws;

// A unit cube of 24 triangles (both windings of each face, so it shows from any side).
inline std::vector<uint8_t> CubeObject(float half = 0.5f) {
  std::vector<float> points;
  for (int i = 0; i < 8; ++i) {
    points.push_back(i & 1 ? half : -half);
    points.push_back(i & 2 ? half : -half);
    points.push_back(i & 4 ? half : -half);
  }
  const uint32_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  std::vector<std::vector<uint32_t>> triangles;
  for (auto& f : faces) {
    triangles.push_back({f[0], f[1], f[2]});
    triangles.push_back({f[0], f[2], f[3]});
    triangles.push_back({f[2], f[1], f[0]});
    triangles.push_back({f[3], f[2], f[0]});
  }
  test::LwoWriter w;
  w.Layer(0, 0, 0, 0, 0, "cube").Points(points).Polygons("FACE", triangles);
  return w.File();
}

// A scene of one unlit cube (more lines follow it), lasting lastFrame frames. It has no camera:
// it is drawn as particles, through the camera of the scene around it.
inline std::string CubeScene(int lastFrame = 60, const std::vector<std::string>& more = {}) {
  std::vector<std::string> lines = {"FramesPerSecond 30", "PreviewLastFrame " + std::to_string(lastFrame),
                                    "LoadObjectLayer 1 cube.lwo", "ShadowOptions 4"};
  lines.insert(lines.end(), more.begin(), more.end());
  return Lws(lines);
}

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

  // Makes a null in scene the way the scene loader does and hands it line (a scene line whose
  // first word is the keyword and second the name) to the factory.
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
  for (const auto& [time, value] : keys) {
    EnvelopeKey key;
    key.time = time;
    key.value = value;
    key.shape = slot->keys.empty() ? SHAPE_LINEAR : SHAPE_STEPPED;
    slot->keys.push_back(key);
  }
}

template <typename T>
T* ActionOf(const SceneObject* object) {
  return dynamic_cast<T*>(object->action.get());
}

}  // namespace actions_test
