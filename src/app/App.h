// The program's entry side: the command line, the viewer configuration file VIEWER.INI, where
// the scene to play comes from, and the scene inspection (--info, --channels). System.h stays the
// record every module sees; this header is for the entry point and its tests only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/System.h"
#include "log/Log.h"

// Exit code of a command line that can't be run, and of a scene that did not load.
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_SCENE_FAILED = 2;

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
// The directory and file name of a scene path. Both '\' and '/' separate; the first character is
// never taken for a separator, so "\scene.lws" is a file name.
ViewerScene SplitScenePath(const std::string& scenePath);

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
  bool noSetup = false;
  bool batch = false;    // no blocking message boxes (--info implies it)
  bool console = false;  // log lines to the terminal as well
  std::string logPath = LOG_DEFAULT_PATH;
  float frame = 0;               // --frame: scene time in frames
  std::string outPath;           // --out
  std::string captureDirectory;  // --capture
  float captureFps = 30;         // --fps
  float from = 0, to = 0;        // --from, --to: scene times in frames
  bool fromGiven = false, toGiven = false;
  std::string channelItem;  // --channels
  float step = 1;           // --step: frames between two rows
};

// Fills options from argv[1..argc). False with a one-line reason for a flag that is unknown,
// lacks its value, has a value out of range, or doesn't go with the others.
bool ParseCommandLine(int argc, const char* const* argv, RunOptions& options, std::string& error);
// The --help text: every option, one line each.
const char* Usage();
// Everything main does: parses, then inspects, or says what this build can't do yet. Returns the
// process exit code (0 done, 2 bad command line or a scene that did not load).
int RunProgram(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// ---- Inspection ----

// Loads and precalculates the scene without a window and prints the scene report to out.
// 0 when the scene loaded and can be played, EXIT_SCENE_FAILED otherwise (the reason goes to the
// report and to err).
int RunInfo(const RunOptions& options, std::FILE* out, std::FILE* err);
// Loads the scene and prints the channels of options.channelItem as CSV, one row per time from
// options.from to options.to. EXIT_SCENE_FAILED when the scene did not load or has no such item.
int RunChannels(const RunOptions& options, std::FILE* out, std::FILE* err);
