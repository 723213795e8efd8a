// MDD point caches: loading, refusing, playback at the edges, the morph blend, the update order.
#include "support/SceneFixture.h"

#include <cmath>
#include <tuple>

namespace {

// Sample s, point k of the test caches: every blend of them is exact in single precision.
Vec3 SamplePoint(uint32_t s, uint32_t k) { return Vec3{float(s), float(10 * s + k), -2.0f * float(s)}; }

// An MDD file: big-endian counts, sample times i × secondTime, then SamplePoint positions.
std::vector<uint8_t> MddBytes(uint32_t frameCount, uint32_t pointCount, float secondTime) {
  test::LwoWriter w;  // big-endian values, as MDD files have them
  w.U4(frameCount).U4(pointCount);
  for (uint32_t i = 0; i < frameCount; ++i) w.F4(float(i) * secondTime);
  for (uint32_t s = 0; s < frameCount; ++s)
    for (uint32_t k = 0; k < pointCount; ++k) w.Vec(SamplePoint(s, k).x, SamplePoint(s, k).y, SamplePoint(s, k).z);
  return w.Body();
}

class MddTest : public test::SceneFixture {
 protected:
  // vertexCount vertices at (100 + k, 0, 0), a cache record naming mddName, precalculated.
  SceneObject* AddCached(const std::string& mddName, uint32_t vertexCount, uint32_t startFrame = 0) {
    SceneObject* object = scene->AddObject();
    object->fileName = "blob.lwo";
    for (uint32_t k = 0; k < vertexCount; ++k) object->baseVertices.push_back(Vertex{{100.0f + float(k), 0, 0}, {}, 0, 0});
    object->pointCache = NewPointCache();
    SetPointCacheName(*object->pointCache, mddName);
    object->pointCache->startFrame = startFrame;
    PrecalcObject(*object, &vfs);
    return object;
  }
  static void ExpectAt(SceneObject* object, float time, uint32_t k, Vec3 expected) {
    UpdateDynamicObject(*object, time);
    const Vec3& p = object->vertices[k].position;
    EXPECT_TRUE(p.x == expected.x && p.y == expected.y && p.z == expected.z)
        << "t " << time << " vertex " << k << ": " << p.x << " " << p.y << " " << p.z;
  }
};

TEST_F(MddTest, SamplesPlayFromTheStartFrameAndHoldAtTheEdges) {
  AddFile("walk.mdd", MddBytes(10, 2, 1.0f / 30));
  AddFile("slow.mdd", MddBytes(4, 3, 1.0f / 15));
  // Sample times a float's rounding below a whole number of frames: 1 and 2 frames all the same.
  AddFile("rounded.mdd", MddBytes(4, 1, std::nextafter(1.0f / 30, 0.0f)));
  AddFile("rounded2.mdd", MddBytes(4, 1, std::nextafter(2.0f / 30, 0.0f)));
  Mount();
  for (const auto& [name, step] : {std::pair{"rounded.mdd", 1u}, {"rounded2.mdd", 2u}}) {
    const SceneObject* rounded = AddCached(name, 1);
    EXPECT_EQ(rounded->pointCache ? rounded->pointCache->frameStep : 0u, step) << name;
  }
  SceneObject* walk = AddCached("walk.mdd", 2, 20);
  const PointCache& cache = *walk->pointCache;
  EXPECT_TRUE(cache.frameStep == 1u && cache.length == 9u && cache.positions.size() == 20u &&
              (walk->flags & OBJECT_DYNAMIC));
  EXPECT_TRUE(Logged(3, "VKTOBJ(LoadMDD) - Found MDD reference in object \"blob.lwo\", now loading..."));
  EXPECT_EQ(LinesWith("[ 01 ]"), 0u);

  ExpectAt(walk, 19.5f, 1, {101, 0, 0});  // before the start: the loaded shape
  ExpectAt(walk, 28.75f, 0, {8.75f, 87.5f, -17.5f});
  ExpectAt(walk, 29, 1, SamplePoint(9, 1));  // the end exactly: the last sample, nothing past it
  // Past the end, and from frame 0 after a restart, the last update stays.
  ExpectAt(walk, 29.5f, 1, SamplePoint(9, 1));
  ExpectAt(walk, 0, 1, SamplePoint(9, 1));
  ExpectAt(walk, 20, 1, SamplePoint(0, 1));
  for (float odd : {NAN, INFINITY, -INFINITY}) ExpectAt(walk, odd, 1, SamplePoint(0, 1));

  // 15 samples a second: each lasts two frames. The object has one vertex fewer than the cache.
  SceneObject* slow = AddCached("slow.mdd", 2);
  EXPECT_TRUE(slow->pointCache->frameStep == 2u && slow->pointCache->length == 6u);
  EXPECT_TRUE(Logged(1, "VKTOBJ(LoadMDD) - MDD \"slow.mdd\" has 3 points for the 2 vertices of object "
                        "\"blob.lwo\", the smaller count follows it"));
  ExpectAt(slow, 3, 1, {1.5f, 16, -3});
  ExpectAt(slow, 5.5f, 0, {2.75f, 27.5f, -5.5f});
  ExpectAt(slow, 6, 1, SamplePoint(3, 1));
  SceneObject* large = AddCached("slow.mdd", 5);  // a cache with fewer points leaves the other vertices alone
  ExpectAt(large, 1, 2, {0.5f, 7, -1});
  ExpectAt(large, 1, 3, {103, 0, 0});
}

TEST_F(MddTest, BadCachesLeaveTheObjectWithoutOne) {
  std::vector<uint8_t> cut = MddBytes(3, 2, 1.0f / 30);
  cut.pop_back();
  std::vector<uint8_t> boast = MddBytes(2, 1, 1.0f / 30);
  boast[0] = boast[1] = boast[4] = boast[5] = 0xFF;  // billions of samples and points
  std::vector<uint8_t> empty = MddBytes(0, 2, 1.0f / 30);
  empty.resize(32);  // room for two points, but no sample
  const std::tuple<const char*, std::vector<uint8_t>, const char*> cases[] = {
      {"gone.mdd", {}, "can't be found"},
      {"", {}, "can't be found"},  // would otherwise match whatever file comes first
      {"fast.mdd", MddBytes(3, 2, 0.01f), "has a frame step of 0"},
      {"nan.mdd", MddBytes(3, 2, NAN), "has a frame step of 0"},
      {"long.mdd", MddBytes(3, 2, 1e8f), "spans more frames than can be counted"},
      {"cut.mdd", cut, "is shorter than its header says"},
      {"boast.mdd", boast, "is shorter than its header says"},
      {"empty.mdd", empty, "has no samples"},
      {"tiny.mdd", {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}, "is shorter than its header"},
  };
  for (const auto& [name, bytes, why] : cases)
    if (!bytes.empty()) AddFile(name, bytes);
  Mount();
  for (const auto& [name, bytes, why] : cases) {
    SceneObject* object = AddCached(name, 2);
    EXPECT_EQ(object->pointCache, nullptr) << name;
    EXPECT_FALSE(object->flags & OBJECT_DYNAMIC) << name;
    EXPECT_TRUE(Logged(1, std::string("VKTOBJ(LoadMDD) - MDD \"") + name + "\" of object \"blob.lwo\" " + why +
                              ", object left without point cache"))
        << name;
    ExpectAt(object, 1, 1, {101, 0, 0});
  }
  SceneObject* noVfs = scene->AddObject();
  noVfs->pointCache = NewPointCache();
  SetPointCacheName(*noVfs->pointCache, "fast.mdd");
  EXPECT_FALSE(LoadMDD(*noVfs, nullptr));
  EXPECT_EQ(noVfs->pointCache, nullptr);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(MddTest, MorphBlendsFirstThenTheCacheReplacesPositions) {
  SceneObject* target = scene->AddObject();
  target->baseVertices = {Vertex{{4, 8, -4}, {0, 1, 0}, 0, 0}};
  SceneObject* object = scene->AddObject();
  object->baseVertices = {Vertex{{0, 0, 0}, {1, 0, 0}, 0.5f, 0.5f}, Vertex{{7, 7, 7}, {0, 0, 1}, 0, 0}};
  object->vertices = object->baseVertices;
  object->vertices[0].position.x = 3;
  object->morphTarget = target;
  object->morphAmount = 0.5f;

  ExpectAt(object, 10, 0, {0, 0, 0});  // no amount envelope: amount 0, the object's own shape
  EXPECT_EQ(object->morphAmount, 0.0f);
  test::Constant(object->envelopes[CHANNEL_MORPH_AMOUNT], 0.25f);
  ExpectAt(object, 10, 0, {1, 2, -1});
  const Vertex& blended = object->vertices[0];
  EXPECT_TRUE(blended.normal.x == 0.75f && blended.normal.y == 0.25f && blended.u == 0.5f);
  ExpectAt(object, 10, 1, {7, 7, 7});  // the target has no vertex 1
  object->envelopes[CHANNEL_MORPH_AMOUNT]->keys[0].value = -1;  // extrapolates
  ExpectAt(object, 10, 0, {-4, -8, 4});

  object->envelopes[CHANNEL_MORPH_AMOUNT]->keys[0].value = 0.25f;
  AddFile("wave.mdd", MddBytes(2, 2, 1.0f / 30));
  Mount();
  object->pointCache = NewPointCache();
  SetPointCacheName(*object->pointCache, "wave.mdd");
  ASSERT_TRUE(LoadMDD(*object, &vfs));
  ExpectAt(object, 0.5f, 0, {0.5f, 5, -1});
  EXPECT_EQ(object->vertices[0].normal.x, 0.75f);
}

TEST_F(MddTest, PrecalcLoadsCachesAndUpdatesRedoPlanarLayers) {
  AddFile("Wave.MDD", MddBytes(2, 3, 1.0f / 30));
  Mount();
  Surface* surface = scene->AddSurface();
  surface->layers[0] = std::make_unique<TextureLayer>();
  surface->layers[0]->axis = AXIS_X;
  surface->layers[0]->size = {1, 2, 2};
  surface->layerCount = 1;
  SceneObject* object = test::AddMesh(*scene, {{}, {}, {}}, {{0, 0, 2}}, {surface});
  object->pointCache = NewPointCache();
  SetPointCacheName(*object->pointCache, "wave.mdd");  // found without regard to case
  SceneObject* null = scene->AddObject();
  null->flags = OBJECT_NULL;
  null->pointCache = NewPointCache();
  scene->AddCamera();

  scene->Precalc(&vfs);
  ASSERT_TRUE(object->pointCache && object->pointCache->frameCount == 2 && null->pointCache->frameCount == 0);
  UpdateDynamicObject(*null, 0);  // null objects are left alone, by the load and the update

  // Axis X: u = -(c.z + p.z) / size.z, v = -(c.y - p.y) / size.y, c the box corner, p as loaded.
  const CornerCoords& uv = object->triangles[0].texCoords[0];
  EXPECT_EQ(uv.cornerU[2], -0.5f);
  surface->layers[0]->center.z = 1;
  ExpectAt(object, 1, 2, SamplePoint(1, 2));
  EXPECT_TRUE(uv.cornerU[2] == -1.0f && uv.cornerV[2] == -0.5f);  // v not from the cached y of 12
}

}  // namespace
