// VIEWER.INI, the file that names the scene the viewer plays, and the split of the scene path
// into the directory to mount and the file name to load.
#include <cstdio>

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

// The first VIEWER_LINE_MAX characters of the next line. The rest of a longer line is passed
// over rather than read as a line of its own, so a long comment stays one comment. False at the
// end of the file.
bool ReadLine(std::FILE* file, std::string& line) {
  line.clear();
  int c = std::fgetc(file);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
    if (line.size() < VIEWER_LINE_MAX) line.push_back(char(c));
  }
  return true;
}

void SyntaxError(int lineNumber) {
  char text[64];
  std::snprintf(text, sizeof text, "Syntax Error in Line %i", lineNumber);
  platform::ShowMessage(INI_SYNTAX_CAPTION, text, platform::ICON_ERROR);
}

}  // namespace

bool ReadViewerIni(const char* path, ViewerScene& scene) {
  std::FILE* file = path ? std::fopen(path, "r") : nullptr;
  if (!file) {
    platform::ShowMessage(INI_MISSING_CAPTION, INI_MISSING_TEXT, platform::ICON_ERROR);
    return false;
  }

  // The two words live across lines: a line assigns only the words it has.
  std::string line, command, argument;
  bool argumentOnLine = false;
  int lineNumber = 0;
  for (;;) {
    if (!ReadLine(file, line)) {
      // The file ended before its LOAD line (comments only, or empty).
      std::fclose(file);
      SyntaxError(lineNumber > 0 ? lineNumber : 1);
      return false;
    }
    ++lineNumber;
    const char* at = line.c_str();
    argumentOnLine = ScanWord(at, command) && ScanWord(at, argument);
    if (command.empty() || command[0] != ';') break;
  }
  std::fclose(file);

  // An argument kept from an earlier line is not a path the LOAD line gave.
  if (command != "LOAD" || !argumentOnLine) {
    SyntaxError(lineNumber);
    return false;
  }
  scene = SplitScenePath(argument);
  return true;
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
