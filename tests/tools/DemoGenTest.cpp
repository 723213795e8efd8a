// The demo generator: the committed demo is what it writes, loads without a complaint and goes round.
#include "demogen/DemoGen.h"

#include "app/Offscreen.h"
#include "app/System.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"
#include "support/TinyAudio.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

namespace {

const std::string DEMO_DIR = ZIVI3_SOURCE_DIR "/demo";

TEST(DemoGen, CommittedDemoIsExactlyWhatTheGeneratorWrites) {
  std::set<std::string> generated;
  for (const demogen::DemoFile& file : demogen::MakeDemo()) {
    generated.insert(file.name);
    EXPECT_EQ(test::ReadBytes(DEMO_DIR + "/" + file.name), file.bytes) << file.name << " differs: run the demo target";
  }
  // The player reads every file of the folder: nothing else but the log of a run from inside it.
  for (const auto& entry : std::filesystem::directory_iterator(DEMO_DIR)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(generated.count(name) || name == "ZIVI3.LOG") << name << " is not generated";
  }
}

// The three scenes load with no error, warning or box; the test above forces what they hold.
TEST(DemoGen, TheScenesLoadWithTheirFrameCountsAndNoComplaint) {
  test::TempDir dir;
  const test::LogFile log(dir / "ZIVI3.LOG");
  test::MessageCapture boxes;
  System system;
  Vfs vfs;
  ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, DEMO_DIR.c_str()));
  for (const auto& [name, lastFrame] : {std::pair{"demo.lws", 900.0f}, {"shards.lws", 30.0f}, {"lightwave.lws", 900.0f}}) {
    Scene scene;
    scene.AttachToSystem(&system);
    ASSERT_TRUE(scene.Load(&vfs, name)) << name;
    scene.Precalc(&vfs);
    EXPECT_TRUE(scene.lastFrame == lastFrame && scene.framesPerSecond == 30 && scene.activeCamera) << name;
  }
  // The sound layer is not opened here, which the actions may note: that is this test's doing.
  for (const std::string& line : log.Lines()) {
    const bool problem = line.rfind("[ 00 ]", 0) == 0 || line.rfind("[ 01 ]", 0) == 0;
    EXPECT_FALSE(problem && line.find("SOUND(") == std::string::npos) << line;
  }
  EXPECT_TRUE(boxes.messages.empty());
}

// Root mean square of stereo frames [first, end), in dB against full scale; channel 0 or 1 alone, or both.
double Level(const std::vector<int16_t>& samples, size_t first, size_t end, int channel = -1) {
  double sum = 0;
  size_t count = 0;
  for (size_t i = 2 * first; i < 2 * end && i < samples.size(); ++i) {
    if (channel >= 0 && int(i % 2) != channel) continue;
    sum += double(samples[i]) * samples[i];
    ++count;
  }
  return 10 * std::log10(sum / double(count ? count : 1) / (32768.0 * 32768.0) + 1e-12);
}

// Across the wrap the music keeps its level and the tune starts again with the scene, so the second
// loop sounds as the first; both sides are about equally loud. Captured small, from a given time.
TEST(DemoGen, TheDemoGoesRoundWithoutAJumpInItsMusic) {
  test::TempDir dir;
  auto capture = [&](const char* name, float from, float to) {
    RunOptions options;
    options.input = DEMO_DIR + "/demo.lws";
    options.mode = MODE_CAPTURE;
    options.captureDirectory = dir / name;
    options.settings.width = 64, options.settings.height = 36;
    options.glDevice = platform::GL_DEVICE_SOFTWARE;
    options.batch = true;
    options.fromGiven = options.toGiven = true;
    options.from = from, options.to = to;
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(RunCapture(options, out, out), 0) << name;
    std::fclose(out);
    return test::WavSamples(test::ReadBytes(options.captureDirectory + "/audio.wav"));
  };
  // The scene starts again on picture 892: the second capture holds pictures 877 to 905, the wrap 15 in.
  const std::vector<int16_t> first = capture("first", 0, 15), wrap = capture("wrap", 885, 915);
  const size_t PICTURE = 1470, AT = 15 * PICTURE, SPAN = 14 * PICTURE;  // stereo frames at 44100 Hz
  ASSERT_TRUE(first.size() >= 2 * SPAN && wrap.size() >= 2 * (AT + SPAN)) << first.size() << " " << wrap.size();

  const double before = Level(wrap, AT - 8 * PICTURE, AT), after = Level(wrap, AT, AT + 8 * PICTURE);
  EXPECT_LT(std::fabs(before - after), 4.0) << before << " dB before the wrap, " << after << " after";
  std::vector<int16_t> difference(2 * SPAN);
  for (size_t i = 0; i < difference.size(); ++i) difference[i] = int16_t(wrap[2 * AT + i] - first[i]);
  EXPECT_LT(Level(difference, 0, SPAN), Level(first, 0, SPAN) - 20) << "the second loop does not begin as the first";
  EXPECT_LT(std::fabs(Level(wrap, 0, AT + SPAN, 0) - Level(wrap, 0, AT + SPAN, 1)), 3.0) << "left and right";
}

// The reader checks every chunk's CRC and the stream's Adler sum, so both checksums are forced too.
TEST(DemoGen, PngRoundTripsThroughAnotherReader) {
  // An odd width and enough rows that the stored data takes two deflate blocks.
  demogen::Image image(37, 700);
  for (uint32_t y = 0; y < image.height; ++y)
    for (uint32_t x = 0; x < image.width; ++x) image.Set(x, y, uint8_t(x * 7), uint8_t(y), uint8_t(x ^ y));
  test::TempDir dir;
  test::WriteBytes(dir / "gradient.png", demogen::EncodePng(image));
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(platform::ReadPng((dir / "gradient.png").c_str(), &width, &height, &rgb));
  EXPECT_TRUE(width == 37 && height == 700 && rgb == image.rgb);
}

}  // namespace
