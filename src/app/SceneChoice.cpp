// Which scene a datafile plays. A datafile holds a demo's main scene beside the scenes it nests
// as particles, and its directory order says nothing about which is which: the datafile's own
// VIEWER.INI decides, else the one scene no other scene nests, else the first by name.
#include <algorithm>
#include <set>
#include <sstream>

#include "app/App.h"

namespace {

const char* const VIEWER_INI_MEMBER = "VIEWER.INI";
const char* const NESTING_ACTION = "ACTSPS";

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

bool IsScene(const std::string& name) {
  return name.size() >= 4 && Lower(name.substr(name.size() - 4)) == ".lws";
}

// The scene that name stands for: the scene of that name, else the first whose name begins
// with it (as the Vfs finds files); "" when none does.
std::string MatchScene(const std::vector<std::string>& scenes, const std::string& name) {
  const std::string wanted = Lower(name);
  if (wanted.empty()) return "";
  for (const std::string& scene : scenes)
    if (Lower(scene) == wanted) return scene;
  for (const std::string& scene : scenes)
    if (Lower(scene).compare(0, wanted.size(), wanted) == 0) return scene;
  return "";
}

// The scenes a scene's text nests: the word after ACTSPS on its AddNullObject lines, where
// ACTSPS is the null's name (the first word after the keyword, or the second from scene format
// 4 on, which puts an item number first).
std::vector<std::string> NestedSceneNames(const VfsFile& file) {
  std::vector<std::string> names;
  std::istringstream lines(std::string(file.data.begin(), file.data.begin() + file.size));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string keyword, first, second, third;
    words >> keyword >> first >> second >> third;
    if (keyword != "AddNullObject") continue;
    if (first == NESTING_ACTION && !second.empty()) names.push_back(second);
    else if (second == NESTING_ACTION && !third.empty()) names.push_back(third);
  }
  return names;
}

std::string SceneList(const std::vector<std::string>& scenes) {
  std::string list;
  for (const std::string& scene : scenes) list += (list.empty() ? "" : ", ") + scene;
  return list;
}

}  // namespace

bool ChooseDatafileScene(const Vfs& vfs, const std::string& requested, DatafileSceneChoice& choice,
                         std::string& why) {
  choice = DatafileSceneChoice{};
  for (const auto& file : vfs.files)
    if (IsScene(file->name)) choice.scenes.push_back(file->name);
  std::sort(choice.scenes.begin(), choice.scenes.end(),
            [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  if (choice.scenes.empty()) {
    why = "the datafile holds no scene (.lws member)";
    return false;
  }

  if (!requested.empty()) {
    choice.scene = MatchScene(choice.scenes, requested);
    choice.reason = "chosen with --scene";
    if (choice.scene.empty()) why = "the datafile holds no scene '" + requested + "' (its scenes: " + SceneList(choice.scenes) + ")";
    return !choice.scene.empty();
  }

  for (const auto& file : vfs.files) {
    if (Lower(file->name) != Lower(VIEWER_INI_MEMBER)) continue;
    ViewerScene viewer;
    const int errorLine =
        file->loaded ? ParseViewerIni(std::string(file->data.begin(), file->data.begin() + file->size), viewer) : 1;
    if (errorLine != 0) {
      why = "the datafile's VIEWER.INI names no scene: Syntax Error in Line " + std::to_string(errorLine);
      return false;
    }
    // Its path may name a folder on the author's disk; inside the datafile only the name counts.
    choice.scene = MatchScene(choice.scenes, viewer.sceneFileName);
    choice.reason = "named by VIEWER.INI";
    if (choice.scene.empty()) why = "the datafile's VIEWER.INI names " + viewer.sceneFileName + ", which it doesn't hold";
    return !choice.scene.empty();
  }

  std::set<std::string> nested;
  for (const std::string& scene : choice.scenes) {
    const VfsFile* file = vfs.Find(scene.c_str());
    if (!file || !file->loaded) continue;
    for (const std::string& name : NestedSceneNames(*file)) {
      const std::string target = MatchScene(choice.scenes, name);
      if (!target.empty() && target != scene) nested.insert(target);
    }
  }
  std::vector<std::string> top;
  for (const std::string& scene : choice.scenes)
    if (!nested.count(scene)) top.push_back(scene);
  if (top.size() == 1) {
    choice.scene = top[0];
    choice.reason = "the one scene no other scene nests";
  } else {
    choice.scene = choice.scenes[0];
    choice.reason = "the first by name";
  }
  return true;
}
