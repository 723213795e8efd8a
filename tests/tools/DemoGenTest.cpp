// The demo generator: the committed demo is exactly what it writes, the demo loads with every
// feature it is there to show, and its own PNG, checksum and module writers are sound.
#include "demogen/DemoGen.h"

#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "log/Log.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

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

TEST(DemoGen, DemoLoadsWithEveryFeatureAndNoComplaint) {
  test::TempDir dir;
  LogSystem log;
  log.Open(LOG_FILE, (dir / "ZIVI3.LOG").c_str());
  test::MessageCapture boxes;
  System system;
  Vfs vfs;
  ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, DEMO_DIR.c_str()));
  Scene scene;
  scene.AttachToSystem(&system);
  ASSERT_TRUE(scene.Load(&vfs, "demo.lws"));
  scene.Precalc(&vfs);

  EXPECT_EQ(scene.lastFrame, 900);
  EXPECT_EQ(scene.framesPerSecond, 30);
  ASSERT_GE(scene.cameras.size(), 2u);
  EXPECT_EQ(scene.activeCamera, scene.cameras[0].get());
  EXPECT_NE(scene.cameras[0]->target, nullptr);
  ASSERT_GE(scene.lights.size(), 2u);
  bool distant = false;
  for (const auto& light : scene.lights) distant |= light->kind == LIGHT_DISTANT;
  EXPECT_TRUE(distant);

  std::set<std::string> actions;
  std::set<uint32_t> shapes;
  bool cached = false, morphing = false, unlit = false, trail = false, parented = false;
  for (const auto& object : scene.objects) {
    if (object->pointCache) {
      const PointCache& cache = *object->pointCache;
      cached = (object->flags & OBJECT_DYNAMIC) && cache.frameStep == 6 &&
               cache.pointCount == object->baseVertices.size() && cache.length >= 870;
    }
    if (object->morphTarget)
      morphing = object->morphTarget->baseVertices.size() == object->baseVertices.size() &&
                 object->envelopes[CHANNEL_MORPH_AMOUNT] && (object->morphTarget->flags & OBJECT_HIDDEN);
    unlit |= (object->flags & OBJECT_UNLIT) != 0;
    trail |= (object->flags & OBJECT_TRAIL) != 0;
    parented |= object->parent != nullptr;
    if (object->flags & OBJECT_NULL) actions.insert(object->itemName.substr(0, object->itemName.find(' ')));
    for (const auto& envelope : object->envelopes)
      if (envelope)
        for (const EnvelopeKey& key : envelope->keys) shapes.insert(key.shape);
  }
  EXPECT_TRUE(cached && morphing) << cached << morphing;
  EXPECT_TRUE(unlit && trail && parented) << unlit << trail << parented;
  for (const char* word : {"ACTCAM", "ACTBAMM", "ACTMOD", "ACTSFX", "ACTFADE", "ACTPIP", "ACTSPS", "ACTMVOL"})
    EXPECT_TRUE(actions.count(word)) << word;
  EXPECT_EQ(shapes, (std::set<uint32_t>{SHAPE_HERMITE, SHAPE_LINEAR, SHAPE_BEZIER, SHAPE_TCB, SHAPE_STEPPED,
                                        SHAPE_BEZIER2D}));

  // A transparent surface, a two-layer (colour and alpha) surface, and the picture-in-picture
  // surface with a texture of at least 128 × 128 pixels.
  bool transparent = false, masked = false;
  for (const auto& surface : scene.surfaces) {
    transparent |= surface->transparency > 0;
    masked |= surface->layerCount == 2 && surface->layers[1]->channel == LAYER_TRANSPARENCY;
  }
  EXPECT_TRUE(transparent && masked) << transparent << masked;
  ASSERT_NE(scene.FindSurfaceByName("Screen"), nullptr);
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(platform::ReadPng((DEMO_DIR + "/screen.png").c_str(), &width, &height, &rgb));
  EXPECT_TRUE(width >= 128 && height >= 128 && (width & (width - 1)) == 0 && (height & (height - 1)) == 0);

  // The fountain's particle scene stands on its own too.
  Scene shards;
  shards.AttachToSystem(&system);
  ASSERT_TRUE(shards.Load(&vfs, "shards.lws"));
  shards.Precalc(&vfs);
  EXPECT_EQ(shards.lastFrame, 30);
  EXPECT_NE(shards.activeCamera, nullptr);

  // Neither scene made an error or a warning. The sound layer is not opened here, which its
  // actions may note; that is this test's doing, not the demo's.
  std::istringstream logLines(test::ReadText(dir / "ZIVI3.LOG"));
  for (std::string line; std::getline(logLines, line);) {
    const bool problem = line.rfind("[ 00 ]", 0) == 0 || line.rfind("[ 01 ]", 0) == 0;
    EXPECT_FALSE(problem && line.find("SOUND(") == std::string::npos) << line;
  }
  EXPECT_TRUE(boxes.messages.empty());
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

uint32_t U2At(const demogen::Bytes& b, size_t at) { return uint32_t(b[at]) << 8 | b[at + 1]; }

TEST(DemoGen, ModuleHeaderDeclaresItsSongPatternsAndSamples) {
  const demogen::Module music = demogen::DemoMusic();
  const demogen::Bytes mod = demogen::EncodeMod(music);
  ASSERT_GT(mod.size(), 1084u);
  EXPECT_EQ(std::string(mod.begin() + 1080, mod.begin() + 1084), "M.K.");
  const uint32_t orders = mod[950];
  EXPECT_GE(orders, 6u);
  EXPECT_EQ(orders, music.orders.size());
  uint32_t patterns = 0;
  for (uint32_t i = 0; i < orders; ++i) patterns = std::max(patterns, uint32_t(mod[952 + i]) + 1);
  EXPECT_EQ(patterns, music.patterns.size());
  size_t sampleBytes = 0;
  for (uint32_t s = 0; s < 31; ++s) {
    const size_t header = 20 + s * 30;
    const uint32_t words = U2At(mod, header + 22), loopStart = U2At(mod, header + 26), loopWords = U2At(mod, header + 28);
    EXPECT_LE(mod[header + 25], 64u) << "volume of sample " << s + 1;
    if (words > 0) {
      EXPECT_LE(loopStart + loopWords, words) << "loop of sample " << s + 1;
    }
    sampleBytes += words * 2;
  }
  EXPECT_EQ(mod.size(), 1084 + patterns * 1024 + sampleBytes);
}

}  // namespace
