// The demo generator: the committed demo is exactly what it writes, the demo loads with every
// feature it is there to show, and its own PNG and checksum writers are sound.
#include "demogen/DemoGen.h"

#include "app/Offscreen.h"
#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "log/Log.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"
#include "support/TinyAudio.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::string DEMO_DIR = ZIVI3_SOURCE_DIR "/demo";

TEST(DemoGen, CommittedDemoIsExactlyWhatTheGeneratorWrites) {
  std::set<std::string> generated;
  for (const demogen::DemoFile& file : demogen::MakeDemo()) {
    generated.insert(file.name);
    EXPECT_EQ(test::ReadBytes(DEMO_DIR + "/" + file.name), file.bytes) << file.name << " differs: run the demo target";
  }
  // The player reads every file of the folder: nothing else may lie there but the log that a
  // run from inside the folder leaves.
  for (const auto& entry : std::filesystem::directory_iterator(DEMO_DIR)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(generated.count(name) || name == "ZIVI3.LOG") << name << " is not generated";
  }
}

// The three scenes load without an error, a warning or a message box, and show every feature they
// are there to show.
TEST(DemoGen, DemoLoadsWithEveryFeatureAndNoComplaint) {
  test::TempDir dir;
  LogSystem log;
  log.Open(LOG_FILE, (dir / "ZIVI3.LOG").c_str());
  test::MessageCapture boxes;
  System system;
  Vfs vfs;
  ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, DEMO_DIR.c_str()));
  Scene demo, shards, lightwave;
  for (const auto& [scene, name] : {std::pair{&demo, "demo.lws"}, {&shards, "shards.lws"}, {&lightwave, "lightwave.lws"}}) {
    scene->AttachToSystem(&system);
    ASSERT_TRUE(scene->Load(&vfs, name)) << name;
    scene->Precalc(&vfs);
  }
  EXPECT_TRUE(demo.lastFrame == 900 && demo.framesPerSecond == 30 && shards.lastFrame == 30 && shards.activeCamera);
  ASSERT_TRUE(demo.cameras.size() >= 2 && demo.lights.size() >= 2);
  EXPECT_TRUE(demo.activeCamera == demo.cameras[0].get() && demo.cameras[0]->target);

  // What the demo shows, by name: its objects, actions (null objects named by their keyword),
  // surfaces (planar maps by their axis, X, Y and Z) and lights.
  std::set<std::string> shown;
  std::set<uint32_t> shapes;
  size_t triangles = 0;
  for (const auto& object : demo.objects) {
    if (!(object->flags & OBJECT_HIDDEN)) triangles += object->triangles.size();
    // A point cache over the whole run, and a morph onto a hidden target of as many points.
    if (object->pointCache && (object->flags & OBJECT_DYNAMIC) && object->pointCache->length >= 870)
      shown.insert("point cache");
    const SceneObject* target = object->morphTarget;
    if (target && (target->flags & OBJECT_HIDDEN) && target->baseVertices.size() == object->baseVertices.size())
      shown.insert("hidden morph target");
    if (object->flags & OBJECT_UNLIT) shown.insert("unlit");
    if (object->flags & OBJECT_TRAIL) shown.insert("trail");
    if (object->parent) shown.insert("parented");
    if (object->flags & OBJECT_NULL) shown.insert(object->itemName.substr(0, object->itemName.find(' ')));
    if (object->itemName.rfind("ACTFADE", 0) == 0 && object->itemName != "ACTFADE 0 0 0") shown.insert("coloured fade");
    for (const auto& envelope : object->envelopes)
      for (const EnvelopeKey& key : envelope ? envelope->keys : std::vector<EnvelopeKey>{}) shapes.insert(key.shape);
  }
  for (const auto& surface : demo.surfaces) {
    if (surface->transparency > 0) shown.insert("transparent");
    if (surface->layerCount == 2 && surface->layers[1]->channel == LAYER_TRANSPARENCY) shown.insert("alpha layer");
    if (surface->layerCount > 0 && surface->layers[0]->projection == PROJECTION_PLANAR)
      shown.insert("planar " + std::to_string(surface->layers[0]->axis));
  }
  for (const auto& light : demo.lights)
    if (light->kind == LIGHT_DISTANT) shown.insert("distant light");
  for (const char* feature : {"point cache", "hidden morph target", "unlit", "trail", "parented", "coloured fade",
                              "ACTCAM", "ACTBAMM", "ACTMOD", "ACTSFX", "ACTFADE", "ACTPIP", "ACTSPS", "ACTMVOL",
                              "transparent", "alpha layer", "planar 0", "planar 1", "planar 2", "distant light"})
    EXPECT_TRUE(shown.count(feature)) << feature;
  EXPECT_GE(triangles, 30000u);
  EXPECT_EQ(shapes, (std::set<uint32_t>{SHAPE_HERMITE, SHAPE_LINEAR, SHAPE_BEZIER, SHAPE_TCB, SHAPE_STEPPED,
                                        SHAPE_BEZIER2D}));
  // The picture-in-picture screen is switched off by its transparency envelope for a while, and
  // its texture has at least 128 × 128 pixels.
  const Surface* screen = demo.FindSurfaceByName("Screen");
  ASSERT_TRUE(screen && screen->envelopes[SURFACE_ENV_TRANSPARENCY]);
  float most = 0;
  for (const EnvelopeKey& key : screen->envelopes[SURFACE_ENV_TRANSPARENCY]->keys) most = std::max(most, key.value);
  EXPECT_GE(most, 1.0f);
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(platform::ReadPng((DEMO_DIR + "/screen.png").c_str(), &width, &height, &rgb));
  EXPECT_TRUE(width >= 128 && height >= 128 && (width & (width - 1)) == 0 && (height & (height - 1)) == 0);

  // The scene for the LightWave look: every post behaviour, a spot and a distant light,
  // cylindrical and spherical maps, a flat and a smoothed surface.
  std::set<uint32_t> behaviours, lightTypes, projections, smoothing;
  for (const auto& object : lightwave.objects)
    for (const auto& envelope : object->envelopes)
      if (envelope) behaviours.insert(envelope->post);
  for (const auto& light : lightwave.lights) lightTypes.insert(light->type);
  for (const auto& surface : lightwave.surfaces) {
    if (surface->layerCount > 0) projections.insert(surface->layers[0]->projection);
    smoothing.insert(surface->smoothing > 0);
  }
  EXPECT_EQ(behaviours, (std::set<uint32_t>{BEHAVIOR_CONSTANT, BEHAVIOR_REPEAT, BEHAVIOR_OSCILLATE,
                                            BEHAVIOR_OFFSET_REPEAT, BEHAVIOR_LINEAR}));
  EXPECT_EQ(lightTypes, (std::set<uint32_t>{LIGHT_TYPE_DISTANT, LIGHT_TYPE_SPOT}));
  EXPECT_TRUE(projections.count(PROJECTION_CYLINDRICAL) && projections.count(PROJECTION_SPHERICAL));
  EXPECT_EQ(smoothing.size(), 2u);

  // The sound layer is not opened here, which the actions may note: that is this test's doing.
  std::istringstream logLines(test::ReadText(dir / "ZIVI3.LOG"));
  for (std::string line; std::getline(logLines, line);) {
    const bool problem = line.rfind("[ 00 ]", 0) == 0 || line.rfind("[ 01 ]", 0) == 0;
    EXPECT_FALSE(problem && line.find("SOUND(") == std::string::npos) << line;
  }
  EXPECT_TRUE(boxes.messages.empty());
}

// Root mean square of the stereo frames [first, end) of interleaved samples, in dB against full
// scale; channel 0 or 1 alone, or both.
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

// The demo goes round: across the wrap the music keeps its level, the tune (one loop long)
// starts again with the scene, so the second loop sounds as the first, and both sides are about
// equally loud. Captured small and short, each span after the time before it played unseen.
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
  // At 30 pictures a second the scene starts again on picture 892: the second capture holds
  // pictures 877 to 905, the wrap 15 pictures in.
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

TEST(DemoGen, ChecksumsAndPngRoundTrip) {
  const std::string check = "123456789";
  EXPECT_EQ(demogen::Crc32(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xCBF43926u);
  const std::string wiki = "Wikipedia";
  EXPECT_EQ(demogen::Adler32(reinterpret_cast<const uint8_t*>(wiki.data()), wiki.size()), 0x11E60398u);

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
