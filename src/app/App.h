// The program's entry side: the command line, the viewer configuration file VIEWER.INI, where
// the scene to play comes from, and the scene inspection (--info, --channels). System.h stays the
// record every module sees; this header is for the entry point and its tests only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/System.h"
#include "log/Log.h"
#include "platform/Platform.h"
#include "scene/Scene.h"
#include "vfs/Vfs.h"

// Exit code of a command line that can't be run, and of a scene that did not load.
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_SCENE_FAILED = 2;
// Exit code of a play run whose VIEWER.INI is missing or names no scene, and of one whose
// window or sound could not start (or whose setup dialog was left with Exit).
inline constexpr int EXIT_INI_FAILED = 3;
inline constexpr int EXIT_NOT_STARTED = 1;

// ---- Viewer configuration ----

inline constexpr const char* VIEWER_INI = "VIEWER.INI";
// Characters of a VIEWER.INI line that are read; the rest of a longer line is passed over. Every
// word, and so the scene path, fits the 256-byte buffers of the configuration.
inline constexpr uint32_t VIEWER_LINE_MAX = 255;

struct ViewerScene {
  std::string scenePath;       // the LOAD argument as written
  std::string sceneDirectory;  // scenePath up to and including its last '\' or '/'; "" when none
  std::string sceneFileName;   // the rest of scenePath: the name the scene is loaded by
};

// Reads the configuration file at path: comment lines (first word beginning with ';'), then a
// line "LOAD path". Words are scanned as "%s %s" would: a blank line or a one-word line leaves
// the words of the line before it in force. On failure shows "VIEWER.INI not found!" (caption
// "ROVUV") or "Syntax Error in Line %i" (caption "ROVUV INI Parser") and returns false; a file
// that ends before its LOAD line, and a LOAD line without a path, are syntax errors.
bool ReadViewerIni(const char* path, ViewerScene& scene);
// The same syntax on text already in memory (a datafile's VIEWER.INI member), without boxes: 0
// when it names a scene, otherwise the number of the line with the syntax error.
int ParseViewerIni(const std::string& text, ViewerScene& scene);
// The directory and file name of a scene path. Both '\' and '/' separate; the first character is
// never taken for a separator, so "\scene.lws" is a file name.
ViewerScene SplitScenePath(const std::string& scenePath);

// ---- Which scene a datafile plays ----

// The scene members (".lws") of a mounted datafile, in name order, and the one it plays: the
// scene requested (--scene), else the one its VIEWER.INI member names, else the one scene that
// no other scene nests (through an ACTSPS null), else the first by name. A name matches a scene
// exactly (ASCII case ignored), or else as the beginning of the first scene's name it begins.
struct DatafileSceneChoice {
  std::vector<std::string> scenes;
  std::string scene;   // the member played
  std::string reason;  // why: "chosen with --scene", "named by VIEWER.INI", ...
};
// False, with why, when the datafile holds no scene, the requested scene is not among them, or
// its VIEWER.INI has a syntax error or names a scene it doesn't hold.
bool ChooseDatafileScene(const Vfs& vfs, const std::string& requested, DatafileSceneChoice& choice,
                         std::string& why);

// ---- Command line ----

enum ProgramMode : uint8_t {
  MODE_PLAY,      // the setup dialog (unless --no-setup), then the scene in a window
  MODE_FRAME,     // --frame T --out FILE.png
  MODE_CAPTURE,   // --capture DIR
  MODE_INFO,      // --info: the scene report
  MODE_CHANNELS,  // --info --channels ITEM: one item's channels as CSV
  MODE_HELP,      // --help, -h
};

// Rows --channels prints at most: a larger range or a smaller step is refused.
inline constexpr uint32_t CHANNEL_ROWS_MAX = 1000000;

// Everything the command line chose: the settings the dialog would otherwise fill, and how to run.
struct RunOptions {
  Settings settings;
  ProgramMode mode = MODE_PLAY;
  std::string input;  // SCENE.lws, DEMO.vpf or a VIEWER.INI; "" for ./VIEWER.INI
  std::string scene;  // --scene: the datafile's scene member to play
  uint64_t memoryBudget = DefaultMemoryBudget();  // --max-memory, in bytes: what a mount may fill
  bool noSetup = false;
  bool batch = false;    // no blocking message boxes (--info implies it)
  bool console = false;  // log lines to the terminal as well
  std::string logPath = LOG_DEFAULT_PATH;
  float frame = 0;               // --frame: scene time in frames
  std::string outPath;           // --out
  std::string captureDirectory;  // --capture: a folder, or a video file (.mp4, .webm, .mkv)
  bool lossless = false;         // --lossless: FFV1 + FLAC into a .mkv capture
  float captureFps = 30;         // --fps: pictures a second of --capture, and --frame's pre-roll
  float from = 0, to = 0;        // --from, --to: scene times in frames
  bool fromGiven = false, toGiven = false;
  std::string channelItem;  // --channels
  float step = 1;           // --step: frames between two rows
  int32_t glDevice = platform::GL_DEVICE_AUTO;  // --gl-device: what draws --frame and --capture
};

// Fills options from argv[1..argc). False with a one-line reason for a flag that is unknown,
// lacks its value, has a value out of range, or doesn't go with the others.
bool ParseCommandLine(int argc, const char* const* argv, RunOptions& options, std::string& error);
// The --help text: every option, one line each.
const char* Usage();
// Everything main does: parses, then plays, renders offscreen or inspects. Returns the process
// exit code (0 done, 1 not started, 2 bad command line or a scene that did not load, 3 no scene
// named by VIEWER.INI).
int RunProgram(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// ---- Inspection ----

// Loads and precalculates the scene without a window and prints the scene report to out.
// 0 when the scene loaded and can be played, EXIT_SCENE_FAILED otherwise (the reason goes to the
// report and to err).
int RunInfo(const RunOptions& options, std::FILE* out, std::FILE* err);
// Loads the scene and prints the channels of options.channelItem as CSV, one row per time from
// options.from to options.to. EXIT_SCENE_FAILED when the scene did not load or has no such item.
int RunChannels(const RunOptions& options, std::FILE* out, std::FILE* err);

// ---- Playing ----

// The program-wide objects of a play run, constructed in this order and destroyed in reverse.
struct Player {
  System system;
  Vfs vfs{&system};
  Scene scene;
  LogSystem log;
  std::string input;           // SCENE.lws, DEMO.vpf or a VIEWER.INI; "" for ./VIEWER.INI
  std::string requestedScene;  // --scene: the datafile's scene to play, "" to let it decide
  std::FILE* err = stderr;     // where the loading progress goes
};

// The render thread's body: reads the scene's source, mounts it, loads, precalculates and
// uploads the textures (a loading screen in the window and progress lines on err between the
// steps), then draws frames until runFlags is set, from frame 0 again each time the time passes
// the scene's last frame. 0 after a normal end, EXIT_SCENE_FAILED when the scene did not load
// or has no camera, EXIT_INI_FAILED when VIEWER.INI is missing or names no scene.
uint32_t ViewerDriver(Player& player, std::atomic<uint32_t>& runFlags);
// Releases the scene's GL objects and textures (the context is still current), frees the
// scene and closes the Vfs. Safe to repeat.
void ViewerCleanup(Player& player);

// Init (window, log file at options.logPath, with the terminal too for options.console,
// sound), SetEngineSpeed(30), Run(driver, cleanup), Done. The process's exit code:
// EXIT_NOT_STARTED when Init failed, the driver's code when it is not 0, otherwise 0 (also
// after a reported crash).
int PlaySystem(System& system, LogSystem& log, const RunOptions& options, ViewerProcedure driver,
               CleanupProcedure cleanup);
// MODE_PLAY: the setup dialog (unless --no-setup), then the demo in a window. Without a display
// it says so on err and returns EXIT_USAGE.
int RunPlay(const RunOptions& options, std::FILE* err);

// Logs (level 3) the vendor, renderer and version of the current GL context, and its samples per
// pixel when multisampled, so a log says which driver drew. function names the log lines' caller.
void LogGlContext(const char* function);

// The crash report for an access violation: the faulting instruction's address, the general
// registers and a closing line, into text (at most size - 1 characters and a NUL). It runs right
// after a fault, whatever the faulting code held, so it uses no heap and no formatting routine.
// Returns the length.
size_t FormatCrashReport(const platform::CrashInfo& info, char* text, size_t size);
