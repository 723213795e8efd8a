// Inside the app module: loading a scene the way the viewer does, without a window, for the
// scene report and the channel dump. Not part of the module's interface (App.h).
#pragma once

#include <string>
#include <vector>

#include "app/App.h"
#include "scene/Scene.h"
#include "vfs/Vfs.h"

// Where a scene comes from: what to mount and the scene file's name in the mounted Vfs.
struct SceneSource {
  uint8_t mountMode = MOUNT_DIRECTORY;
  std::string mountPath;  // the folder ("" for the current one) or the datafile
  std::string sceneName;  // found among the members once a datafile is mounted
  bool viewerIni = false;       // named by a VIEWER.INI, whose failures show their own boxes
  std::string requested;        // --scene: the datafile's scene asked for
  DatafileSceneChoice choice;   // a datafile's scenes, and why sceneName is the one played
};

// One thing the loaders reported: a log line of level 0-2, or a message box that was not the
// echo of a level-0 line (level PROBLEM_MESSAGE_BOX, text "caption: text").
inline constexpr int PROBLEM_MESSAGE_BOX = -1;
struct Problem {
  int level;
  std::string text;
};

// A scene loaded for inspection, with what happened on the way. Members are declared in the
// program's order of creation, so the scene goes before the Vfs and the Vfs before the System.
struct Inspection {
  System system;
  Vfs vfs{&system};
  Scene scene;
  SceneSource source;
  std::vector<Problem> problems;  // in the order they were reported
  // MDD names as the scene file gave them: taken before the precalculation, which drops the
  // cache of an object whose file is missing or broken.
  std::vector<std::string> pointCacheFiles;
  bool mounted = false;
  bool loaded = false;  // Scene::Load returned true
  bool precalculated = false;
  std::string why;  // why the scene can't be played, or ""
};

// Works out the source of options.input (see RunOptions) and mounts it, loads the scene with
// options.settings, and precalculates it when precalculate is set. Log lines of level 0-2 and
// message boxes are recorded in problems instead of being shown. True when the scene loaded
// (and, when asked, has a camera to play from); otherwise why says what stopped it.
bool InspectScene(const RunOptions& options, bool precalculate, Inspection& inspection);

// A file name ending in suffix, compared without regard to ASCII case (".lws", ".ini").
bool EndsWithNoCase(const std::string& text, const char* suffix);

// The source for input: a datafile (its first bytes "VPF"), a VIEWER.INI (a name ending in
// ".ini" that is not an LWS file; its LOAD path counts from the file's own folder) or a scene
// file; "" reads ./VIEWER.INI. scene (--scene) names a datafile's scene and goes with datafiles
// only. False with why.
bool ResolveSceneSource(const std::string& input, const std::string& scene, SceneSource& source, std::string& why);
// Mounts source into vfs (within vfs.memoryBudget); for a datafile, ChooseDatafileScene picks
// the scene.
bool MountSceneSource(SceneSource& source, Vfs& vfs, std::string& why);

// The point-cache (MDD) file names the scene's objects refer to, in object order.
std::vector<std::string> PointCacheFiles(const Scene& scene);

// "object 3", "camera 0", "light 1" for an item a parent or target points at; "-" for none.
std::string DescribeItem(const void* item, uint8_t kind);
