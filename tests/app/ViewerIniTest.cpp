// VIEWER.INI as the viewer reads it: the scene path, split into folder and file name.
#include <gtest/gtest.h>

#include "app/App.h"

#include <tuple>

TEST(ViewerIni, CommentsThenLoadGiveTheSceneSplitAtEitherSeparatorAndASyntaxErrorItsLine) {
  const std::string longPath = "dir/" + std::string(400, 'p') + ".lws";
  const struct {
    std::string text;
    int errorLine;  // 0: it names the scene below
    std::string path, directory, file;
  } cases[] = {
      {"; my demo\n   ;indented comment\nLOAD D:\\demo\\scene.lws trailing words\nLOAD other.lws\n", 0,
       "D:\\demo\\scene.lws", "D:\\demo\\", "scene.lws"},
      // A blank line keeps the comment's words, so it is a comment too; CR LF ends are white space.
      {";a\r\n\r\n\t\r\nLOAD\tdemo/scene.lws\r\n", 0, "demo/scene.lws", "demo/", "scene.lws"},
      {"LOAD D:\\My Demo\\scene.lws\n", 0, "D:\\My", "D:\\", "My"},  // the path ends at the first blank
      {"LOAD scene.lws", 0, "scene.lws", "", "scene.lws"},              // no line end after the last line
      // The first character never splits.
      {"LOAD \\a.lws", 0, "\\a.lws", "", "\\a.lws"},
      // A long comment stays one comment: its tail is not read as a line of its own.
      {";" + std::string(600, 'x') + "\nLOAD a.lws\n", 0, "a.lws", "", "a.lws"},
      // A line is read up to its 255th character.
      {"LOAD " + longPath + "\n", 0, longPath.substr(0, 250), "dir/", longPath.substr(4, 246)},
      {"load scene.lws\n", 1, "", "", ""},
      {"; one\n; two\nPLAY scene.lws\n", 3, "", "", ""},
      {";LOAD a.lws\n  ; b\n", 2, "", "", ""},  // comments only
      {"", 1, "", "", ""},
      {"\nLOAD scene.lws\n", 1, "", "", ""},  // no words yet
      // LOAD alone would keep "kept.lws" from the comment line; it is refused instead.
      {"; kept.lws\nLOAD\n", 2, "", "", ""},
  };
  for (const auto& c : cases) {
    ViewerScene scene;
    EXPECT_EQ(ParseViewerIni(c.text, scene), c.errorLine) << c.text;
    // A file in error leaves the scene as it was.
    EXPECT_EQ(std::tie(scene.scenePath, scene.sceneDirectory, scene.sceneFileName), std::tie(c.path, c.directory, c.file));
  }
}
