// zivi3 --frame and --capture on a grey square crossing the view from x = -1 at frame 0 to x = 1
// at frame 60.
#include "app/Offscreen.h"

#include "platform/Platform.h"
#include "support/SceneText.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t WIDTH = 160, HEIGHT = 120;

class OffscreenRun : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteSlidingSquare(dir.Path().string(), 0.5f, 1, 60);
    options.input = dir / "scene.lws";
    options.settings.width = WIDTH;
    options.settings.height = HEIGHT;
    options.glDevice = platform::GL_DEVICE_SOFTWARE;
  }

  struct Result {
    int code = -1;
    std::string out, err;
  };

  template <typename Run>
  Result RunIt(Run run) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Result result;
    result.code = run(options, out, err);
    for (auto [file, text] : {std::pair{out, &result.out}, std::pair{err, &result.err}}) {
      std::rewind(file);
      char buffer[512];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
      std::fclose(file);
    }
    return result;
  }

  // The picture at path, and the centre of its pixels that aren't black.
  struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    float centreX = -1;
    uint32_t top = 0, bottom = 0;  // first and last row with something drawn
  };
  static Picture Read(const std::string& path) {
    Picture picture;
    EXPECT_TRUE(platform::ReadPng(path.c_str(), &picture.width, &picture.height, &picture.rgb)) << path;
    double sum = 0;
    uint32_t count = 0;
    picture.top = picture.height;
    for (uint32_t y = 0; y < picture.height; ++y)
      for (uint32_t x = 0; x < picture.width; ++x) {
        const uint8_t* p = &picture.rgb[(size_t(y) * picture.width + x) * 3];
        if (p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
        sum += x + 0.5;
        ++count;
        picture.top = std::min(picture.top, y);
        picture.bottom = y;
      }
    if (count) picture.centreX = float(sum / count);
    return picture;
  }

  test::TempDir dir;
  test::MessageCapture boxes;
  RunOptions options;
};

TEST_F(OffscreenRun, FrameWritesTheSceneAtItsTimeAtTheChosenSize) {
  options.mode = MODE_FRAME;
  options.frame = 30;  // the square is in the middle
  options.outPath = dir / "middle.png";
  Result run = RunIt(RunFrame);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("160x120"), std::string::npos) << run.out;
  Picture middle = Read(options.outPath);
  EXPECT_EQ(middle.width, WIDTH);
  EXPECT_EQ(middle.height, HEIGHT);
  EXPECT_NEAR(middle.centreX, WIDTH / 2.0f, 0.5f);
  // The widescreen band (on by default) keeps the square within its 90 rows.
  EXPECT_GE(middle.top, 15u);
  EXPECT_LE(middle.bottom, 104u);

  options.frame = 0;
  options.outPath = dir / "left.png";
  options.settings.colourDepth = 16;
  ASSERT_EQ(RunIt(RunFrame).code, 0);
  EXPECT_LT(Read(options.outPath).centreX, WIDTH / 2.0f - 10);

  // No scene, or nowhere to write: the reason on err, and the exit codes of each.
  options.outPath = dir / "no/such/folder/x.png";
  run = RunIt(RunFrame);
  EXPECT_EQ(run.code, EXIT_OUTPUT_FAILED);
  EXPECT_NE(run.err.find("could not write"), std::string::npos) << run.err;
  options.input = dir / "missing.lws";
  EXPECT_EQ(RunIt(RunFrame).code, EXIT_SCENE_FAILED);
}

TEST_F(OffscreenRun, CaptureWalksSceneTimeAtAFixedRate) {
  EXPECT_EQ(CaptureFrameCount(0, 1, 30, 30), 2u);
  EXPECT_EQ(CaptureFrameCount(5, 5, 30, 30), 1u);
  EXPECT_EQ(CaptureFrameCount(5, 4, 30, 30), 0u);
  EXPECT_FLOAT_EQ(CaptureFrameTime(7, 2, 10, 30), 23);
  EXPECT_EQ(CaptureFramePath("out", 12), (std::filesystem::path("out") / "frame_00012.png").string());

  // Ten pictures a second of scene time from frame 0 to the last frame, 60: 21 pictures.
  options.mode = MODE_CAPTURE;
  options.captureDirectory = dir / "frames";
  options.captureFps = 10;
  Result run = RunIt(RunCapture);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("21 frames"), std::string::npos) << run.out;
  EXPECT_TRUE(std::filesystem::exists(CaptureFramePath(options.captureDirectory, 20)));
  EXPECT_FALSE(std::filesystem::exists(CaptureFramePath(options.captureDirectory, 21)));

  // Picture 10 is scene time 30: the same picture --frame 30 makes.
  RunOptions frame = options;
  options.mode = MODE_FRAME;
  options.frame = 30;
  options.outPath = dir / "frame30.png";
  ASSERT_EQ(RunIt(RunFrame).code, 0);
  EXPECT_EQ(Read(CaptureFramePath(frame.captureDirectory, 10)).rgb, Read(options.outPath).rgb);

  // A range of its own, and one that would never end.
  options = frame;
  options.captureDirectory = dir / "part";
  options.fromGiven = options.toGiven = true;
  options.from = 30;
  options.to = 33;
  options.captureFps = 30;
  ASSERT_EQ(RunIt(RunCapture).code, 0);
  EXPECT_TRUE(std::filesystem::exists(CaptureFramePath(options.captureDirectory, 3)));
  EXPECT_FALSE(std::filesystem::exists(CaptureFramePath(options.captureDirectory, 4)));
  options.to = 1e9f;
  EXPECT_EQ(RunIt(RunCapture).code, EXIT_USAGE);
}

TEST_F(OffscreenRun, MultisamplingBlendsEdgesOnlyWhenAskedAndTheDriverLimitIsReported) {
  options.mode = MODE_FRAME;
  options.frame = 17;  // the square's edges fall inside pixels
  auto colours = [&](uint32_t samples) {
    options.settings.samples = samples;
    options.outPath = dir / ("aa" + std::to_string(samples) + ".png");
    const Result run = RunIt(RunFrame);
    EXPECT_EQ(run.code, 0) << run.err;
    const Picture picture = Read(options.outPath);
    std::set<uint32_t> seen;
    for (size_t i = 0; i + 2 < picture.rgb.size(); i += 3)
      seen.insert(uint32_t(picture.rgb[i]) << 16 | uint32_t(picture.rgb[i + 1]) << 8 | picture.rgb[i + 2]);
    return seen.size();
  };
  EXPECT_EQ(colours(1), 2u);  // black and the square's grey, nothing between
  EXPECT_GT(colours(4), 2u);  // edge pixels partly covered

  // No device offers 64 samples, and device 999 isn't there: each says so instead of drawing less.
  options.settings.samples = 64;
  Result run = RunIt(RunFrame);
  EXPECT_TRUE(run.code == EXIT_OUTPUT_FAILED && run.err.find("samples per pixel") != std::string::npos) << run.err;
  options.settings.samples = 1;
  options.glDevice = 999;
  run = RunIt(RunFrame);
  EXPECT_TRUE(run.code == EXIT_OUTPUT_FAILED && run.err.find("no EGL device 999") != std::string::npos) << run.err;
}

// The program and this test binary reach GL through GLVND only: neither needs OSMesa, the
// program's GL calls bind to libOpenGL while it draws, and nothing here maps OSMesa after drawing.
TEST_F(OffscreenRun, GlCallsGoThroughGlvndAndNeverOsmesa) {
  const std::string program = ZIVI3_BINARY_DIR "/zivi3", cd = "cd '" + dir.Path().string() + "' && ";
  for (const std::string& binary : {program, std::filesystem::read_symlink("/proc/self/exe").string()}) {
    ASSERT_EQ(std::system((cd + "readelf -d '" + binary + "' > dynamic.txt").c_str()), 0);
    const std::string dynamic = test::ReadText(dir / "dynamic.txt");
    EXPECT_TRUE(dynamic.find("[libOpenGL.so.0]") != std::string::npos &&
                dynamic.find("[libEGL.so.1]") != std::string::npos && dynamic.find("OSMesa") == std::string::npos)
        << binary << dynamic;
  }

  ASSERT_EQ(std::system((cd + "LD_DEBUG=bindings LD_DEBUG_OUTPUT=bindings '" + program +
                         "' --frame 30 --out f.png --gl-device software --no-sound scene.lws >/dev/null && "
                         "cat bindings.* > bindings.txt").c_str()), 0);
  const std::string bindings = test::ReadText(dir / "bindings.txt");
  EXPECT_EQ(bindings.find("OSMesa"), std::string::npos);
  for (const char* call : {"libOpenGL.so.0 [0]: normal symbol `glClear'",
                           "libOpenGL.so.0 [0]: normal symbol `glBegin'",
                           "libOpenGL.so.0 [0]: normal symbol `glCallList'",
                           "libGLU.so.1 [0]: normal symbol `gluPerspective'"})
    EXPECT_NE(bindings.find(call), std::string::npos) << call;

  options.outPath = dir / "here.png";
  ASSERT_EQ(RunIt(RunFrame).code, 0);
  const std::string maps = test::ReadText("/proc/self/maps");
  EXPECT_TRUE(maps.find("libOpenGL.so") != std::string::npos && maps.find("OSMesa") == std::string::npos);
}

TEST_F(OffscreenRun, TexturesOfTheSceneAreLoadedAndBound) {
  SKIP_WITHOUT_CORPUS();
  // A real textured cube, turned to show three faces.
  const std::filesystem::path objects = std::filesystem::path(test::CorpusDir()) / "lightwave" / "objects";
  for (const char* name : {"boxuv.lwo", "boxuv.png"}) std::filesystem::copy_file(objects / name, dir.Path() / name);
  std::string scene = "LWSC\n3\n\nPreviewLastFrame 10\nLoadObjectLayer 1 boxuv.lwo\n";
  const float channels[9] = {0, 0, 4, 0.6f, 0.4f, 0, 1, 1, 1};
  for (int c = 0; c < 9; ++c) scene += test::LwsChannel(c, channels[c]);
  test::WriteText(dir / "scene.lws", scene + "AddCamera\n");
  options.settings.triangulate = true;
  options.mode = MODE_FRAME;
  options.outPath = dir / "textured.png";
  Result run = RunIt(RunFrame);
  ASSERT_EQ(run.code, 0) << run.err;

  // Without its image the same cube looks different.
  std::filesystem::remove(dir.Path() / "boxuv.png");
  options.outPath = dir / "plain.png";
  ASSERT_EQ(RunIt(RunFrame).code, 0);
  const Picture textured = Read(dir / "textured.png"), plain = Read(options.outPath);
  EXPECT_GT(textured.centreX, 0);
  EXPECT_NE(textured.rgb, plain.rgb);
}

}  // namespace
