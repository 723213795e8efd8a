// zivi3 --info and --channels, run as a user runs them: the real program on scenes written here.
#include <gtest/gtest.h>

#include <regex>
#include <tuple>

#include "ProgramRun.h"
#include "support/RawDatafile.h"
#include "support/SceneText.h"
#include "support/TestSupport.h"
#include "vfs/Vfs.h"
#include "vpfpack/Reduce.h"

namespace {

using test::InOrder;
using test::ProgramRun;
using test::Quote;

// Runs zivi3 with args in folder dir (its log lands there too), after the shell words before.
ProgramRun Zivi3(const test::TempDir& dir, const std::string& args, const std::string& before = "") {
  const test::ShellRun run = test::Shell("cd " + Quote(dir.Path().string()) + " && " + before +
                                         Quote(ZIVI3_BINARY_DIR "/zivi3") + " " + args + " 2>" + Quote(dir / "stderr.txt"));
  return {run.code, run.out, test::ReadText(dir / "stderr.txt")};
}

// Defined in a sanitizer build, whose shadow memory can't live under an address-space limit.
extern "C" void __asan_init() __attribute__((weak));

// The output's lines, runs of blanks collapsed to one, each between line ends: table rows compare by cells.
std::string Cells(const std::string& text) {
  return std::regex_replace(std::regex_replace("\n" + text, std::regex(" *\n *"), "\n"), std::regex(" +"), " ");
}

// Every kind of item, parent and problem the report shows. Objects: 0 Body, unlit, point-cached, px 0 → 10 over
// frames 0-50, py 2; 1 null ACTFADE, child of 0, px 1; 2 a clone of Body turned by heading and scaled in y only, its
// dissolve animated (offset repeat); 3 null Helper, half dissolved, turned by heading and bank, its x repeated after
// its last key. Lights: 0 Sun, distant (a spot to LightWave), at (0, 10, 0), heading 0.5, with a target it can't have
// (warning); 1 Fill, LightWave's distant type, child of camera 0. Camera 0: Cam at (0, 1, -10) aiming at object 0, its
// zoom animated. 25 fps (a notice: the engine's is 30); ambient light white at a quarter.
const char* const SCENE = "LWSC\n3\n\nPreviewFirstFrame 0\nPreviewLastFrame 60\nFramesPerSecond 25\n\n";

std::string DemoScene() {
  std::string s = SCENE;
  s += "LoadObjectLayer 1 Objects\\tri.lwo\nShadowOptions 4\n";
  s += "Plugin CustomObjHandler 1 MD_Plug\nfilename C:\\caches\\wave.mdd\nmdflag 0 0 5 0 0 0\n";
  s += "ObjectMotion\nNumChannels 9\n";
  s += test::LwsChannel(0, 0, 10, 2);
  s += test::LwsChannel(1, 2) + test::LwsChannel(6, 1) + test::LwsChannel(7, 1) + test::LwsChannel(8, 1);
  s += "\nAddNullObject ACTFADE 255 0 0\nParentItem 10000000\n" + test::LwsChannel(0, 1);
  s += "\nLoadObjectLayer 1 tri.lwo\n" + test::LwsChannel(3, 0.5) + test::LwsChannel(7, 2);
  s += "ObjectDissolve (envelope)\n{ Envelope\n  2\n  Key 0 0 0 0 0 0 0 0 0\n  Key 1 1 0 0 0 0 0 0 0\n"
       "  Behaviors 1 4\n}\n";
  s += "\nAddNullObject Helper\nObjectDissolve 0.5\n";
  std::string repeat = test::LwsChannel(0, 0, 1, 1);
  repeat.replace(repeat.find("Behaviors 1 1"), 13, "Behaviors 1 2");
  s += repeat + test::LwsChannel(3, 0.5) + test::LwsChannel(5, 0.25) + "AmbientColor 1 1 1\nAmbientIntensity 0.25\n";
  s += "\nAddLight\nLightName Sun\nLightType 2\nTargetItem 10000000\n";
  s += test::LwsChannel(0, 0) + test::LwsChannel(1, 10) + test::LwsChannel(2, 0) + test::LwsChannel(3, 0.5);
  s += "\nAddLight\nLightName Fill\nLightType 0\nParentItem 30000000\n";
  s += "\nAddCamera\nCameraName Cam\nTargetItem 10000000\n";
  s += test::LwsChannel(0, 0) + test::LwsChannel(1, 1) + test::LwsChannel(2, -10);
  s += "ZoomFactor (envelope)\n{ Envelope\n  1\n  Key 4 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
  return s;
}

// The demo in dir/demo: scene.lws; tri.lwo, a tetrahedron on surface "Skin" with two image clips, one of which the
// demo lacks; wave.mdd, two samples of its points one frame apart (big-endian, as MDD files are); skin.png.
void WriteDemo(const test::TempDir& dir) {
  test::LwoWriter w;
  w.Tags({"Skin"});
  w.StillClip(1, "C:/textures/skin.png");
  w.StillClip(2, "missing.png");
  w.Layer(0, 0, 0, 0, 0, "Body");
  w.Points({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  w.Polygons("FACE", {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}});
  w.PolygonTags("SURF", {{0, 0}, {1, 0}, {2, 0}, {3, 0}});
  // Smoothed within 1 radian, with a spherical image layer: features of the LightWave look.
  w.Chunk("SURF").S0("Skin").S0("").Sub("SMAN").F4(1).End();
  w.Sub("BLOK").Sub("IMAP").S0("\x80").End().Sub("PROJ").U2(2).End().End().End();
  test::LwoWriter mdd;
  mdd.U4(2).U4(4).F4(0).F4(1.0f / 30);
  for (float s : {0.0f, 1.0f}) mdd.Vec(s, s, s).Vec(1 + s, s, s).Vec(s, 1 + s, s).Vec(s, s, 1 + s);
  std::filesystem::create_directory(dir.Path() / "demo");
  test::WriteText(dir / "demo/scene.lws", DemoScene());
  test::WriteBytes(dir / "demo/tri.lwo", w.File());
  test::WriteBytes(dir / "demo/wave.mdd", mdd.Body());
  test::WriteText(dir / "demo/skin.png", "not really an image: the report only looks for the file");
}

}  // namespace

TEST(Info, ReportAndChannelsGiveEveryKindOfItemFileAndProblemThenWhichSceneIsPlayedAndWhatStopsIt) {
  test::TempDir dir;
  WriteDemo(dir);
  ProgramRun run = Zivi3(dir, "--info demo/scene.lws");
  ASSERT_TRUE(run.code == 0 && run.err.empty()) << run.out << run.err;
  const std::string out = run.out, cells = Cells(out);
  for (const std::string row : {
           "scene: scene.lws", "from: folder demo/ (4 files)", "result: loaded and precalculated",
           "lights 2", "surfaces 1", "cameras 1", "objects (including nulls) 4", "vertices 8", "faces 8",
           "first frame 0", "last frame 60", "frames per second 25",
           "0 1 Body tri.lwo 4 4 - dynamic unlit", "1 - ACTFADE - 0 0 object 0 hidden null",
           "2 - Clone ID 2 Clone ID 2 4 4 - -", "3 - Helper - 0 0 - hidden null", "0 Cam - object 0",
           "0 Sun distant -", "1 Fill point camera 0", "1 ACTFADE ACTFADE", "3 Helper -", "texture skin.png yes",
           "texture missing.png NO", "mdd wave.mdd yes",
       }) {
    EXPECT_NE(cells.find("\n" + row + "\n"), std::string::npos) << row << "\n" << out;
  }

  // What the classic look ignores, with the way to see it.
  EXPECT_TRUE(InOrder(out, {"\nThe LightWave look\n", "post behaviour offset repeat on 1 channel",
                            "post behaviour repeat on 1 channel", "rotation and scale order on 2 objects",
                            "animated dissolve on 1 object", ", dissolve on 1 object",
                            "animated zoom on 1 camera", "spot light 1", "distant light 1", "intensity on 2 lights",
                            "spherical projection on 1 surface", "smoothing angle on 1 surface",
                            "ambient light (colour 1 1 1, intensity 0.25)",
                            "the classic look ignores these: play with --lightwave to see them"}))
      << out;
  run = Zivi3(dir, "--info --lightwave demo/scene.lws");
  EXPECT_NE(run.out.find("shown as LightWave shows them (--lightwave)"), std::string::npos) << run.out;

  // The loaders' lines of level 0-2, in order, and no progress lines.
  EXPECT_TRUE(InOrder(out, {"\nProblems", "notice   LWSLDR(PC_FramesPerSecond)", "warning  LWSLDR(TargetObject)"}))
      << out;
  EXPECT_EQ(out.find("Precalc"), std::string::npos) << out;

  // The log file holds everything, the report's lines included.
  EXPECT_NE(test::ReadText(dir / "ZIVI3.LOG").find("Scene report"), std::string::npos);

  // --channels: each kind of item as CSV rows, by number or name; nullptr: the scene lacks it.
  for (auto [item, range, rows] : std::initializer_list<std::tuple<const char*, const char*, const char*>>{
      {"0", "--from 0 --to 50 --step 25", "0,0,2,0,0,0,0,1,1,1,0,2,0\n25,5,2,0,0,0,0,1,1,1,5,2,0\n50,10,2,0,0,0,0,1,1,1,10,2,0\n"},
      {"ACTFADE", "--from 25 --to 25", "25,1,0,0,0,0,0,0,0,0,6,2,0\n"},  // it moves with its parent
      // A camera: no scale channels, rotation not evaluated while it aims; w is where it stands.
      {"camera:0", "--from 0 --to 0", "0,0,1,-10,0,0,0,1,1,1,0,1,10\n"},
      {"light:0", "--from 3 --to 4", "3,0,10,0,0.5,0,0,0,0,0,0,10,0\n4,0,10,0,0.5,0,0,0,0,0,0,10,0\n"},
      // After its last key the classic look holds x; the LightWave look repeats the curve.
      {"Helper", "--from 45 --to 45", "45,1,0,0,0.5,0,0.25,0,0,0,1,0,0\n"},
      {"Helper", "--from 45 --to 45 --lightwave", "45,0.8,0,0,0.5,0,0.25,0,0,0,0.8,0,0\n"},
      // A step that doesn't divide the range stops before its end.
      {"Body", "--from 0 --to 1 --step 0.4",
       "0,0,2,0,0,0,0,1,1,1,0,2,0\n0.4,0.08,2,0,0,0,0,1,1,1,0.08,2,0\n0.8,0.16,2,0,0,0,0,1,1,1,0.16,2,0\n"},
      {"nope", "--from 0 --to 1", nullptr},
      {"camera:1", "--from 0 --to 1", nullptr},
      {"7", "--from 0 --to 1", nullptr},
  }) {
    run = Zivi3(dir, std::string("--info demo/scene.lws --channels ") + item + " " + range);
    EXPECT_EQ(run.code, rows ? 0 : 2) << run.err;
    EXPECT_EQ(run.out, rows ? std::string("time,px,py,pz,h,p,b,sx,sy,sz,wx,wy,wz\n") + rows : "") << item;
    EXPECT_EQ(run.err.find(std::string("the scene has no item '") + item + "'") == std::string::npos, rows != nullptr);
  }

  // Each way of naming the scene, one after the other: a file is written (or removed, without text)
  // before each run, and demo.vpf is packed again after a change in demo/.
  // particle.lws sorts first; the nesting scene.lws nests it (and itself, which doesn't count).
  test::WriteText(dir / "demo/particle.lws", std::string(SCENE) + "AddCamera\nCameraName P\n");
  const std::string nesting = DemoScene() + "\nAddNullObject ACTSPS particle.lws 1 0 10 0 0 0 1 1 1\n" +
                              "AddNullObject ACTSPS scene.lws 1 0 10 0 0 0 1 1 1\n";
  std::filesystem::create_directories(dir.Path() / "broken");
  test::WriteText(dir / "broken/gone.lws", std::string(SCENE) + "LoadObjectLayer 1 gone.lwo\n");
  test::WriteText(dir / "broken/nocam.lws", std::string(SCENE) + "AddNullObject ACTMOD x.xm 0 0 0\n");
  std::filesystem::create_directories(dir.Path() / "ini");
  test::WriteText(dir / "ini/VIEWER.INI", "LOAD ../demo/scene.lws\n");
  const struct {
    const char *file, *text;  // written before the run; nullptr: nothing, or the file removed
    const char* args;
    int code;
    std::initializer_list<std::string> report;  // rows of the report, in order
    const char* why;                            // on err
  } cases[] = {
      {"demo/VIEWER.INI", nullptr, "demo.vpf", 0,
       {"\nscene: particle.lws\n", "\nscenes: particle.lws (plays: the first by name)\nscene.lws\n"}, ""},
      {"demo/scene.lws", nesting.c_str(), "demo.vpf", 0,
       {"\nscene: scene.lws\n", "\nscenes: particle.lws\nscene.lws (plays: the one scene no other scene nests)\n"}, ""},
      {nullptr, nullptr, "--scene PARTICLE demo.vpf", 0,
       {"\nscene: particle.lws\n", "\nscenes: particle.lws (plays: chosen with --scene)\n"}, ""},
      {nullptr, nullptr, "--scene nope demo.vpf", 2, {}, "holds no scene 'nope' (its scenes: particle.lws, scene.lws)"},
      {"demo/VIEWER.INI", "; where it was made\nLOAD C:\\made\\here\\particle.lws\n", "demo.vpf", 0,
       {"\nscene: particle.lws\n", "\nscenes: particle.lws (plays: named by VIEWER.INI)\n"}, ""},
      {"demo/VIEWER.INI", "LOAD gone.lws\n", "demo.vpf", 2, {}, "VIEWER.INI names gone.lws, which it doesn't hold"},
      // ./VIEWER.INI uses the player's separators; one given by path counts from its folder; --scene is for datafiles.
      {"demo/VIEWER.INI", nullptr, "", 2, {"NOT LOADED", "message ROVUV: VIEWER.INI not found!"},
       "zivi3: there is no VIEWER.INI here"},
      {"VIEWER.INI", "; nothing else\n", "", 2, {"message ROVUV INI Parser: Syntax Error in Line 1"}, ""},
      {"VIEWER.INI", "; the demo\nLOAD demo\\scene.lws\n", "", 0, {"\nfrom: folder demo\\ (5 files)\n"}, ""},
      {nullptr, nullptr, "ini/VIEWER.INI", 0, {"\nfrom: folder ini/../demo/ (5 files)\n"}, ""},
      {nullptr, nullptr, "--scene x ini/VIEWER.INI", 2, {}, ""},
      // An object file the demo lacks: the loader's error, then the viewer's own box.
      {nullptr, nullptr, "broken/gone.lws", 2,
       {"NOT LOADED", "error LWSLDR(LoadObjectLayer)", "message XR sagt: Can't load Lightwave 6 scene!"}, "did not load"},
      // Loaded, but nothing to play from: the viewer stops there, and so does the check.
      {nullptr, nullptr, "broken/nocam.lws", 2,
       {"loaded, but can't be played: the scene has no camera", "\n0 ACTMOD ACTMOD\n", "error VKTSCE(Precalc) - Argh! No Cam found!"}, ""},
      {nullptr, nullptr, "broken", 2, {}, ""},  // a folder is not a scene
  };
  for (const auto& c : cases) {
    if (c.file) std::filesystem::remove(dir.Path() / c.file);
    if (c.file && c.text) test::WriteText(dir / c.file, c.text);
    const bool pack = c.file && std::string(c.file).rfind("demo/", 0) == 0;
    ASSERT_TRUE(!pack || test::Shell(ZIVI3_BINARY_DIR "/tools/vpfpack " + Quote(dir / "demo") + " " + Quote(dir / "demo.vpf")).code == 0);
    run = Zivi3(dir, std::string("--info ") + c.args);
    EXPECT_EQ(run.code, c.code) << c.args << "\n" << run.err;
    EXPECT_TRUE(InOrder(Cells(run.out), c.report)) << run.out;
    EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
  }
}

// Some 20 KB that declare 10 GiB: 640 members sharing one stream of 16 MiB of zeros. Run under a
// 512 MiB address-space limit, with the peak resident memory on the last line of stderr.
TEST(Info, AMemoryBombIsRefusedBeforeAnythingIsUnpacked) {
  test::TempDir dir;
  std::vector<uint8_t> stream;
  ASSERT_TRUE(CompressReduced(std::vector<uint8_t>(16u << 20, 0).data(), 16u << 20, 9, stream));
  std::vector<test::RawEntry> entries;
  for (uint32_t i = 0; i < 640; ++i)
    entries.push_back({"zero" + std::to_string(i) + ".lwo" + '\0', uint32_t(stream.size()), 1, 16u << 20, 0,
                       DatafileChecksum(stream.data(), stream.size())});
  test::WriteBytes(dir / "bomb.vpf", test::RawDatafile(entries, stream));
  const bool sanitized = __asan_init != nullptr;
  const std::string limited = sanitized ? "" : "ulimit -v 524288 && /usr/bin/time -f 'peak %M kB' ";

  const ProgramRun refused = Zivi3(dir, "--info bomb.vpf", limited);
  EXPECT_TRUE(refused.code == 2 && refused.err.find("needs 10241 MB of memory, more than the") != std::string::npos)
      << refused.err;
  if (sanitized) return;
  EXPECT_LT(std::stoul(refused.err.substr(refused.err.rfind("peak ") + 5)), 300u << 10) << refused.err;

  // Let in, it meets the limit: what memory can't hold stays unloaded, and the run ends with its message, not an abort.
  const ProgramRun allowed = Zivi3(dir, "--info --max-memory 16384 bomb.vpf", limited);
  EXPECT_TRUE(allowed.code == 2 && allowed.err.find("holds no scene") != std::string::npos) << allowed.err;
}
