// VIEWER.INI, the file that names the scene the viewer plays, and the split of the scene path
// into the directory to mount and the file name to load.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/App.h"
#include "platform/Platform.h"

namespace {

const char* const INI_MISSING_CAPTION = "ROVUV";
const char* const INI_MISSING_TEXT = "VIEWER.INI not found!";
const char* const INI_SYNTAX_CAPTION = "ROVUV INI Parser";

// White space as "%s" skips it; a CR of a CR LF file is white space too.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// What one "%s" of a scan assigns: the next word at *at. False, word untouched, when only white
// space is left.
bool ScanWord(const char*& at, std::string& word) {
  while (*at && IsSpace(*at)) ++at;
  if (!*at) return false;
  const char* start = at;
  while (*at && !IsSpace(*at)) ++at;
  word.assign(start, at);
  return true;
}

// The first VIEWER_LINE_MAX characters of the next line of text from at. The rest of a longer
// line is passed over rather than read as a line of its own, so a long comment stays one
// comment. False at the end of the text.
bool ReadLine(const std::string& text, size_t& at, std::string& line) {
  line.clear();
  if (at >= text.size()) return false;
  const size_t end = std::min(text.find('\n', at), text.size());
  line.assign(text, at, std::min<size_t>(end - at, VIEWER_LINE_MAX));
  at = end + 1;
  return true;
}

void SyntaxError(int lineNumber) {
  char text[64];
  std::snprintf(text, sizeof text, "Syntax Error in Line %i", lineNumber);
  platform::ShowMessage(INI_SYNTAX_CAPTION, text, platform::ICON_ERROR);
}

}  // namespace

int ParseViewerIni(const std::string& text, ViewerScene& scene) {
  // The two words live across lines: a line assigns only the words it has.
  std::string line, command, argument;
  bool argumentOnLine = false;
  int lineNumber = 0;
  size_t at = 0;
  for (;;) {
    // The text ended before its LOAD line (comments only, or empty).
    if (!ReadLine(text, at, line)) return lineNumber > 0 ? lineNumber : 1;
    ++lineNumber;
    const char* word = line.c_str();
    argumentOnLine = ScanWord(word, command) && ScanWord(word, argument);
    if (command.empty() || command[0] != ';') break;
  }
  // An argument kept from an earlier line is not a path the LOAD line gave.
  if (command != "LOAD" || !argumentOnLine) return lineNumber;
  scene = SplitScenePath(argument);
  return 0;
}

bool ReadViewerIni(const char* path, ViewerScene& scene) {
  std::ifstream file(path ? path : "", std::ios::binary);
  if (!path || !file) {
    platform::ShowMessage(INI_MISSING_CAPTION, INI_MISSING_TEXT, platform::ICON_ERROR);
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const int errorLine = ParseViewerIni(text, scene);
  if (errorLine != 0) SyntaxError(errorLine);
  return errorLine == 0;
}

ViewerScene SplitScenePath(const std::string& scenePath) {
  ViewerScene scene;
  scene.scenePath = scenePath;
  size_t cut = std::string::npos;
  for (size_t i = scenePath.size(); i-- > 1;) {
    if (scenePath[i] == '\\' || scenePath[i] == '/') {
      cut = i;
      break;
    }
  }
  if (cut == std::string::npos) {
    scene.sceneFileName = scenePath;
  } else {
    scene.sceneDirectory = scenePath.substr(0, cut + 1);
    scene.sceneFileName = scenePath.substr(cut + 1);
  }
  return scene;
}
