// MDD point caches: loading (and refusing) files, playback at the cache's edges, the morph blend
// and the order of the per-frame update. Expected positions are worked out by hand.
#include "lightwave/LwoFixture.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// An MDD file: big-endian counts, sample times i × secondTime, then the positions.
std::vector<uint8_t> MddBytes(uint32_t frameCount, uint32_t pointCount, float secondTime,
                              const std::vector<Vec3>& positions) {
  std::vector<uint8_t> bytes;
  auto u4 = [&bytes](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(uint8_t(v >> shift));
  };
  auto f4 = [&u4](float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    u4(bits);
  };
  u4(frameCount);
  u4(pointCount);
  for (uint32_t i = 0; i < frameCount; ++i) f4(float(i) * secondTime);
  for (const Vec3& p : positions) {
    f4(p.x);
    f4(p.y);
    f4(p.z);
  }
  return bytes;
}

// Sample s, point k of the test caches: every step is exact in single precision.
Vec3 SamplePoint(uint32_t s, uint32_t k) { return Vec3{float(s), float(10 * s + k), -2.0f * float(s)}; }

std::vector<Vec3> SamplePoints(uint32_t frameCount, uint32_t pointCount) {
  std::vector<Vec3> positions;
  for (uint32_t s = 0; s < frameCount; ++s)
    for (uint32_t k = 0; k < pointCount; ++k) positions.push_back(SamplePoint(s, k));
  return positions;
}

class MddTest : public LwoFixture {
 protected:
  // Writes the files and mounts the folder with just them.
  void Mount(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files) {
    std::vector<const char*> names;
    for (const auto& [name, bytes] : files) {
      test::WriteBytes(dir / name, bytes);
      names.push_back(name.c_str());
    }
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str(), names.data(), uint32_t(names.size())));
  }

  // An object of vertexCount vertices at (100 + k, 0, 0) with a cache record naming mddName.
  SceneObject* AddCached(const std::string& mddName, uint32_t vertexCount, uint32_t startFrame = 0) {
    SceneObject* object = scene->AddObject();
    object->fileName = "blob.lwo";
    for (uint32_t k = 0; k < vertexCount; ++k) object->baseVertices.push_back(Vertex{{100.0f + float(k), 0, 0}, {}, 0, 0});
    object->pointCache = NewPointCache();
    SetPointCacheName(*object->pointCache, mddName);
    object->pointCache->startFrame = startFrame;
    return object;
  }

  void ExpectAt(const SceneObject& object, uint32_t k, Vec3 expected) {
    const Vec3& p = object.vertices[k].position;
    EXPECT_EQ(p.x, expected.x) << "vertex " << k;
    EXPECT_EQ(p.y, expected.y) << "vertex " << k;
    EXPECT_EQ(p.z, expected.z) << "vertex " << k;
  }

  Vfs vfs;
};

TEST_F(MddTest, RecordStartsZeroedAndKeepsAtMost95Characters) {
  ForeignPtr<PointCache> cache = NewPointCache();
  EXPECT_EQ(cache->enabled, 1);
  EXPECT_EQ(cache->startFrame, 0u);
  EXPECT_EQ(cache->frameCount, 0u);
  EXPECT_TRUE(cache->positions.empty());
  SetPointCacheName(*cache, std::string(100, 'm'));
  EXPECT_EQ(cache->mddName, std::string(95, 'm'));
}

TEST_F(MddTest, ThirtySamplesPerSecondPlayOneSamplePerFrameFromTheStartFrame) {
  Mount({{"walk.mdd", MddBytes(10, 2, 1.0f / 30, SamplePoints(10, 2))}});
  SceneObject* object = AddCached("walk.mdd", 2, 20);
  PrecalcObject(*object, &vfs);

  const PointCache& cache = *object->pointCache;
  EXPECT_EQ(cache.frameStep, 1u);
  EXPECT_EQ(cache.length, 9u);
  EXPECT_EQ(cache.frameCount, 10u);
  EXPECT_EQ(cache.pointCount, 2u);
  ASSERT_EQ(cache.positions.size(), 20u);
  EXPECT_EQ(cache.positions[11].y, 51.0f);
  EXPECT_TRUE(object->flags & OBJECT_DYNAMIC);
  EXPECT_TRUE(Logged(3, "VKTOBJ(LoadMDD) - Found MDD reference in object \"blob.lwo\", now loading..."));
  EXPECT_EQ(LinesWith("[ 01 ]"), 0u);

  // Before the start the loaded shape stays.
  UpdateDynamicObject(*object, 19.5f);
  ExpectAt(*object, 1, {101, 0, 0});
  UpdateDynamicObject(*object, 24.5f);  // halfway between samples 4 and 5
  ExpectAt(*object, 0, {4.5f, 45, -9});
  ExpectAt(*object, 1, {4.5f, 46, -9});
  UpdateDynamicObject(*object, 20.25f);
  ExpectAt(*object, 1, {0.25f, 3.5f, -0.5f});
  UpdateDynamicObject(*object, 29);  // the end exactly: the last sample, nothing past it read
  ExpectAt(*object, 1, SamplePoint(9, 1));
  UpdateDynamicObject(*object, 28.75f);
  ExpectAt(*object, 0, {8.75f, 87.5f, -17.5f});
  UpdateDynamicObject(*object, 29);
  // Past the end, and again from frame 0 after the scene restarts, the last update stays.
  UpdateDynamicObject(*object, 29.5f);
  ExpectAt(*object, 1, SamplePoint(9, 1));
  UpdateDynamicObject(*object, 0);
  ExpectAt(*object, 1, SamplePoint(9, 1));
  UpdateDynamicObject(*object, 20);
  ExpectAt(*object, 1, SamplePoint(0, 1));
  for (float odd : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity()}) {
    UpdateDynamicObject(*object, odd);
    ExpectAt(*object, 1, SamplePoint(0, 1));
  }
}

TEST_F(MddTest, FifteenSamplesPerSecondLastTwoFramesEach) {
  Mount({{"slow.mdd", MddBytes(4, 1, 1.0f / 15, SamplePoints(4, 1))}});
  SceneObject* object = AddCached("slow.mdd", 1);
  PrecalcObject(*object, &vfs);
  EXPECT_EQ(object->pointCache->frameStep, 2u);
  EXPECT_EQ(object->pointCache->length, 6u);

  UpdateDynamicObject(*object, 2);  // exactly sample 1
  ExpectAt(*object, 0, SamplePoint(1, 0));
  UpdateDynamicObject(*object, 3);  // halfway from sample 1 to 2
  ExpectAt(*object, 0, {1.5f, 15, -3});
  UpdateDynamicObject(*object, 5.5f);  // three quarters from sample 2 to 3
  ExpectAt(*object, 0, {2.75f, 27.5f, -5.5f});
  UpdateDynamicObject(*object, 6);
  ExpectAt(*object, 0, SamplePoint(3, 0));
}

TEST_F(MddTest, BadCachesLeaveTheObjectWithoutOne) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<uint8_t> truncated = MddBytes(3, 2, 1.0f / 30, SamplePoints(3, 2));
  truncated.pop_back();
  std::vector<uint8_t> boasting = MddBytes(2, 1, 1.0f / 30, SamplePoints(2, 1));
  boasting[0] = boasting[1] = boasting[4] = boasting[5] = 0xFF;  // billions of samples and points
  Mount({{"fast.mdd", MddBytes(3, 2, 0.01f, SamplePoints(3, 2))},
         {"back.mdd", MddBytes(3, 2, -1.0f / 30, SamplePoints(3, 2))},
         {"nan.mdd", MddBytes(3, 2, nan, SamplePoints(3, 2))},
         {"long.mdd", MddBytes(3, 2, 1e8f, SamplePoints(3, 2))},
         {"cut.mdd", truncated},
         {"boast.mdd", boasting},
         {"empty.mdd", MddBytes(0, 2, 1.0f / 30, {{0, 0, 0}, {1, 1, 1}})},
         {"tiny.mdd", {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}}});

  struct Case {
    const char* name;
    const char* why;
  } cases[] = {
      {"gone.mdd", "can't be found"},
      {"", "can't be found"},  // would otherwise match whatever file comes first
      {"fast.mdd", "has a frame step of 0"},
      {"back.mdd", "has a frame step of 0"},
      {"nan.mdd", "has a frame step of 0"},
      {"long.mdd", "spans more frames than can be counted"},
      {"cut.mdd", "is shorter than its header says"},
      {"boast.mdd", "is shorter than its header says"},
      {"empty.mdd", "has no samples"},
      {"tiny.mdd", "is shorter than its header"},
  };
  for (const Case& c : cases) {
    SceneObject* object = AddCached(c.name, 2);
    PrecalcObject(*object, &vfs);
    EXPECT_EQ(object->pointCache, nullptr) << c.name;
    EXPECT_FALSE(object->flags & OBJECT_DYNAMIC) << c.name;
    EXPECT_TRUE(Logged(1, std::string("VKTOBJ(LoadMDD) - MDD \"") + c.name + "\" of object \"blob.lwo\" " + c.why +
                              ", object left without point cache"))
        << c.name;
    UpdateDynamicObject(*object, 1);
    ExpectAt(*object, 1, {101, 0, 0});
  }
  SceneObject* noVfs = AddCached("fast.mdd", 1);
  EXPECT_FALSE(LoadMDD(*noVfs, nullptr));
  EXPECT_EQ(noVfs->pointCache, nullptr);
  EXPECT_FALSE(LoadMDD(*noVfs, &vfs));  // no record: nothing to do
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(MddTest, CountsThatDifferFollowTheSmallerOne) {
  Mount({{"more.mdd", MddBytes(2, 3, 1.0f / 30, SamplePoints(2, 3))},
         {"fewer.mdd", MddBytes(2, 1, 1.0f / 30, SamplePoints(2, 1))}});
  SceneObject* small = AddCached("more.mdd", 2);
  SceneObject* large = AddCached("fewer.mdd", 3);
  PrecalcObject(*small, &vfs);
  PrecalcObject(*large, &vfs);
  EXPECT_TRUE(Logged(1, "VKTOBJ(LoadMDD) - MDD \"more.mdd\" has 3 points for the 2 vertices of object \"blob.lwo\", "
                        "the smaller count follows it"));

  UpdateDynamicObject(*small, 1);
  ExpectAt(*small, 1, SamplePoint(1, 1));
  UpdateDynamicObject(*large, 0.5f);
  ExpectAt(*large, 0, {0.5f, 5, -1});
  ExpectAt(*large, 1, {101, 0, 0});
  ExpectAt(*large, 2, {102, 0, 0});
}

TEST_F(MddTest, MorphBlendsPositionsAndNormalsThenTheCacheReplacesPositions) {
  SceneObject* target = scene->AddObject();
  target->baseVertices = {Vertex{{4, 8, -4}, {0, 1, 0}, 0, 0}};
  SceneObject* object = scene->AddObject();
  object->baseVertices = {Vertex{{0, 0, 0}, {1, 0, 0}, 0.5f, 0.5f}, Vertex{{7, 7, 7}, {0, 0, 1}, 0, 0}};
  object->vertices = object->baseVertices;
  object->morphTarget = target;

  // Without an amount envelope the amount is 0: the object's own shape.
  object->morphAmount = 0.5f;
  object->vertices[0].position.x = 3;
  UpdateDynamicObject(*object, 10);
  EXPECT_EQ(object->morphAmount, 0.0f);
  ExpectAt(*object, 0, {0, 0, 0});

  object->envelopes[CHANNEL_MORPH_AMOUNT] = std::make_unique<Envelope>();
  EnvelopeKey key;
  key.value = 0.25f;
  object->envelopes[CHANNEL_MORPH_AMOUNT]->keys.push_back(key);
  UpdateDynamicObject(*object, 10);
  EXPECT_EQ(object->morphAmount, 0.25f);
  ExpectAt(*object, 0, {1, 2, -1});
  const Vertex& blended = object->vertices[0];
  EXPECT_EQ(blended.normal.x, 0.75f);
  EXPECT_EQ(blended.normal.y, 0.25f);
  EXPECT_EQ(blended.u, 0.5f);
  ExpectAt(*object, 1, {7, 7, 7});  // the target has no vertex 1

  // Amounts outside 0 to 1 extrapolate.
  object->envelopes[CHANNEL_MORPH_AMOUNT]->keys[0].value = -1;
  UpdateDynamicObject(*object, 10);
  ExpectAt(*object, 0, {-4, -8, 4});

  object->envelopes[CHANNEL_MORPH_AMOUNT]->keys[0].value = 0.25f;
  Mount({{"wave.mdd", MddBytes(2, 2, 1.0f / 30, SamplePoints(2, 2))}});
  object->pointCache = NewPointCache();
  SetPointCacheName(*object->pointCache, "wave.mdd");
  ASSERT_TRUE(LoadMDD(*object, &vfs));
  UpdateDynamicObject(*object, 0.5f);
  ExpectAt(*object, 0, {0.5f, 5, -1});
  EXPECT_EQ(object->vertices[0].normal.x, 0.75f);
}

TEST_F(MddTest, PrecalcLoadsCachesAndUpdatesReprojectPlanarLayers) {
  Mount({{"Wave.MDD", MddBytes(2, 3, 1.0f / 30, SamplePoints(2, 3))}});
  Surface* surface = scene->AddSurface();
  surface->layers[0] = std::make_unique<TextureLayer>();
  surface->layers[0]->axis = AXIS_X;
  surface->layers[0]->size = {1, 2, 2};
  surface->layerCount = 1;
  SceneObject* object = AddCached("wave.mdd", 3);  // names are found without regard to case
  object->triangles.resize(1);
  object->triangles[0].cornerIndex[1] = 1;
  object->triangles[0].cornerIndex[2] = 2;
  object->triangles[0].surface = surface;
  SceneObject* null = scene->AddObject();
  null->flags = OBJECT_NULL;
  null->pointCache = NewPointCache();
  scene->AddCamera();

  scene->Precalc(&vfs);
  ASSERT_NE(object->pointCache, nullptr);
  EXPECT_EQ(object->pointCache->frameCount, 2u);
  EXPECT_TRUE(object->flags & OBJECT_DYNAMIC);
  EXPECT_EQ(null->pointCache->frameCount, 0u);  // null objects are left alone
  UpdateDynamicObject(*null, 0);

  // Axis X: u = -(c.z + p.z) / size.z with c the box corner; every loaded point has z 0.
  EXPECT_EQ(object->triangles[0].texCoords[0].cornerU[2], -0.5f);
  surface->layers[0]->center.z = 1;
  UpdateDynamicObject(*object, 1);
  EXPECT_EQ(object->triangles[0].texCoords[0].cornerU[2], -1.0f);
  // Projection follows the loaded points, not the cached ones.
  EXPECT_EQ(object->triangles[0].texCoords[0].cornerV[0], -0.5f);
  ExpectAt(*object, 2, SamplePoint(1, 2));
}

}  // namespace
