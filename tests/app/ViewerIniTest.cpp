// VIEWER.INI as the viewer reads it, and the split of the scene path into folder and file name.
#include <gtest/gtest.h>

#include "app/App.h"
#include "support/TestSupport.h"

namespace {

struct IniRead {
  bool ok;
  ViewerScene scene;
  std::vector<test::Message> messages;
};

IniRead ReadIni(const std::string& text) {
  test::TempDir dir;
  test::WriteText(dir / "VIEWER.INI", text);
  IniRead read;
  test::MessageCapture boxes;
  read.ok = ReadViewerIni((dir / "VIEWER.INI").c_str(), read.scene);
  read.messages = boxes.messages;
  return read;
}

// The one box of a syntax error, or "" when there was none.
std::string SyntaxMessage(const IniRead& read) {
  if (read.messages.size() != 1) return "";
  EXPECT_EQ(read.messages[0].caption, "ROVUV INI Parser");
  EXPECT_EQ(read.messages[0].icon, platform::ICON_ERROR);
  return read.messages[0].text;
}

}  // namespace

TEST(ViewerIni, CommentsThenLoadGiveTheFolderAndFileAndTheRestIsIgnored) {
  const struct {
    const char* text;
    const char* path;
    const char* directory;
    const char* file;
  } cases[] = {
      {"; my demo\n   ;indented comment\nLOAD D:\\demo\\scene.lws trailing words\nLOAD other.lws\n",
       "D:\\demo\\scene.lws", "D:\\demo\\", "scene.lws"},
      // A blank line keeps the comment's words, so it is a comment too; CR LF ends are white space.
      {";a\r\n\r\n\t\r\nLOAD\tdemo/scene.lws\r\n", "demo/scene.lws", "demo/", "scene.lws"},
      {"LOAD D:\\My Demo\\scene.lws\n", "D:\\My", "D:\\", "My"},  // the path ends at the first blank
      {"LOAD scene.lws", "scene.lws", "", "scene.lws"},              // no line end after the last line
  };
  for (const auto& c : cases) {
    IniRead read = ReadIni(c.text);
    ASSERT_TRUE(read.ok) << c.text;
    EXPECT_TRUE(read.messages.empty());
    EXPECT_EQ(read.scene.scenePath, c.path);
    EXPECT_EQ(read.scene.sceneDirectory, c.directory);
    EXPECT_EQ(read.scene.sceneFileName, c.file);
  }
}

TEST(ViewerIni, SyntaxErrorsNameTheLineWhereReadingStopped) {
  EXPECT_EQ(SyntaxMessage(ReadIni("load scene.lws\n")), "Syntax Error in Line 1");
  EXPECT_EQ(SyntaxMessage(ReadIni("; one\n; two\nPLAY scene.lws\n")), "Syntax Error in Line 3");
  EXPECT_EQ(SyntaxMessage(ReadIni(";LOAD a.lws\n  ; b\n")), "Syntax Error in Line 2");  // comments only
  EXPECT_EQ(SyntaxMessage(ReadIni("")), "Syntax Error in Line 1");
  EXPECT_EQ(SyntaxMessage(ReadIni("\nLOAD scene.lws\n")), "Syntax Error in Line 1");  // no words yet
  // LOAD alone would keep "kept.lws" from the comment line; it is refused instead.
  EXPECT_EQ(SyntaxMessage(ReadIni("; kept.lws\nLOAD\n")), "Syntax Error in Line 2");
  EXPECT_EQ(SyntaxMessage(ReadIni("LOADscene.lws\n")), "Syntax Error in Line 1");
}

TEST(ViewerIni, MissingFileShowsItsOwnMessage) {
  test::TempDir dir;
  test::MessageCapture boxes;
  ViewerScene scene;
  EXPECT_FALSE(ReadViewerIni((dir / "VIEWER.INI").c_str(), scene));
  ASSERT_EQ(boxes.messages.size(), 1u);
  EXPECT_EQ(boxes.messages[0].caption, "ROVUV");
  EXPECT_EQ(boxes.messages[0].text, "VIEWER.INI not found!");
  EXPECT_EQ(boxes.messages[0].icon, platform::ICON_ERROR);
}

TEST(ViewerIni, OverlongLinesAreReadUpTo255CharactersAndCountOnce) {
  // A long comment stays one comment; its tail is not read as a line of its own.
  IniRead read = ReadIni(";" + std::string(600, 'x') + "\nLOAD a.lws\n");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.scene.scenePath, "a.lws");
  EXPECT_EQ(SyntaxMessage(ReadIni(";" + std::string(600, 'x') + "\nNOPE\n")), "Syntax Error in Line 2");

  const std::string longPath = "dir/" + std::string(400, 'p') + ".lws";
  read = ReadIni("LOAD " + longPath + "\n");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.scene.scenePath, longPath.substr(0, VIEWER_LINE_MAX - 5));
}

TEST(ViewerIni, PathSplitTakesEitherSeparatorAndNeverTheFirstCharacter) {
  struct Case {
    const char* path;
    const char* directory;
    const char* file;
  } cases[] = {
      {"demo/scenes/a.lws", "demo/scenes/", "a.lws"},
      {"D:\\demo/x\\b.lws", "D:\\demo/x\\", "b.lws"},
      {"a.lws", "", "a.lws"},
      {"\\a.lws", "", "\\a.lws"},
      {"/", "", "/"},
      {"", "", ""},
      {"dir/", "dir/", ""},
      {"/abs/c.lws", "/abs/", "c.lws"},
  };
  for (const Case& c : cases) {
    ViewerScene scene = SplitScenePath(c.path);
    EXPECT_EQ(scene.scenePath, c.path);
    EXPECT_EQ(scene.sceneDirectory, c.directory) << c.path;
    EXPECT_EQ(scene.sceneFileName, c.file) << c.path;
  }
}
