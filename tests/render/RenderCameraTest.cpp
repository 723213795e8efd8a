// Where things land on the image, against positions worked out by hand from the camera maths.
#include "lightwave/Lightwave.h"
#include "render/RenderFixture.h"

namespace render_test {
namespace {

using RenderCamera = RenderFixture;

TEST_F(RenderCamera, SquaresLandWhereTheProjectionTheCameraTurnsAndTheZoomPutThem) {
  Camera* camera = AddCamera();
  SceneObject* square = AddObject({1, 0.5f, 10});
  AddSquare(square, AddSurface({1, 0, 0}), {}, 0.25f);
  const Image image = Render(0);
  // Its corners, projected by hand, bound exactly the pixels it covers, unlit in its own colour.
  const auto [left, top] = Project({0.75f, 0.75f, 10});
  const auto [right, bottom] = Project({1.25f, 0.25f, 10});
  const Blob blob = FindBlob(image);
  ASSERT_GT(blob.count, 0u);
  EXPECT_TRUE(std::fabs(blob.left - left) <= 1 && std::fabs(blob.right + 1 - right) <= 1 &&
              std::fabs(blob.top - top) <= 1 && std::fabs(blob.bottom + 1 - bottom) <= 1);
  EXPECT_EQ(image.Rgb(blob.x, blob.y), (std::vector<int>{255, 0, 0}));

  // On the square, then turned: heading right moves it left, pitch down moves it up, bank turns the image clockwise.
  const float f = 1.0f / std::tan(34.71f * 0.5f * DEGREES), aspect = float(WIDTH) / HEIGHT;
  const struct {
    Vec3 position, rotation;
    float x, y;
    const char* what;
  } views[] = {
      {{1, 0.5f, 0}, {}, WIDTH / 2.0f, HEIGHT / 2.0f, "camera moved onto the square"},
      {{1, 0.5f, 0}, {10 * DEGREES, 0, 0}, (1 - f / aspect * std::tan(10 * DEGREES)) * 0.5f * WIDTH, HEIGHT / 2.0f, "heading"},
      {{1, 0.5f, 0}, {0, 10 * DEGREES, 0}, WIDTH / 2.0f, (1 - f * std::tan(10 * DEGREES)) * 0.5f * HEIGHT, "pitch"},
      {{0, 0.5f, 0}, {0, 0, 90 * DEGREES}, WIDTH / 2.0f, (1 + f * 0.1f) * 0.5f * HEIGHT, "bank"},
  };
  for (const auto& v : views) {
    for (int i = 0; i < 3; ++i) camera->envelopes[i]->keys[0].value = (&v.position.x)[i];
    for (int i = 0; i < 3; ++i) camera->envelopes[CHANNEL_HEADING + i]->keys[0].value = (&v.rotation.x)[i];
    ExpectBlobAt(Render(0), v.x, v.y, 1.0f, v.what);
  }
  // The LightWave look's field of view follows the zoom (2 units high at its distance); the classic look ignores it.
  for (int i = 0; i < 6; ++i) camera->envelopes[i]->keys[0].value = 0;
  camera->zoomFactor = 6.4f;
  const auto [x, y] = Project({1, 0.5f, 10});
  ExpectBlobAt(Render(0), x, y, 1.0f, "classic");
  system.settings.lightwave = true;
  const float cx = WIDTH / 2.0f, cy = HEIGHT / 2.0f;
  ExpectBlobAt(Render(0), cx + 2 * (x - cx), cy + 2 * (y - cy), 1.0f, "zoom 6.4");
  Ramp(camera->zoomEnvelope, 0, 3.2f, 10, 4.8f);
  ExpectBlobAt(Render(10), cx + 1.5f * (x - cx), cy + 1.5f * (y - cy), 1.0f, "zoom 4.8 at frame 10");
}

TEST_F(RenderCamera, ATargetingCameraAimsWhereItsTargetWasTheFrameBefore) {
  SceneObject* target = AddObject({3, 1, 10});
  AddSquare(target, AddSurface({1, 1, 1}), {}, 0.2f);
  AddCamera({0, 0, -5}, {1, 0, 0})->target = target;  // its heading is never evaluated
  // The first frame reads the target's channels before they were ever evaluated: the origin.
  const auto [x, y] = Project({3, 1, 15});
  ExpectBlobAt(Render(0), x, y, 1.0f, "first frame");
  ExpectBlobAt(Render(0), WIDTH / 2.0f, HEIGHT / 2.0f, 0.5f, "aimed at the target");
}

TEST_F(RenderCamera, WidescreenDrawsIntoACentredBandAndLeavesTheRestCleared) {
  system.settings.widescreen = true;
  AddCamera();
  AddSquare(AddObject({0, 0, 10}), AddSurface({1, 0, 0}), {}, 100);  // fills any view
  AddSquare(AddObject({1, 1, 9}), AddSurface({0, 1, 0}), {}, 0.1f);  // before it
  const Image image = Render(0, {0, 0, 1});

  const float band = WIDTH / 16 * 9;  // 180
  const float top = (HEIGHT - band) / 2;
  for (float y : {0.0f, top - 1, top + band, HEIGHT - 1.0f})
    EXPECT_EQ(image.Rgb(WIDTH / 2, y), (std::vector<int>{0, 0, 255})) << "row " << y << " keeps the clear colour";
  for (float y : {top, top + band / 2, top + band - 1}) EXPECT_EQ(image.Rgb(WIDTH / 2, y)[0], 255) << "row " << y;
  // The band's aspect is 16:9: a square off-centre lands by that aspect, inside the band.
  const auto [x, y] = Project({1, 1, 9}, 16.0f / 9.0f, band);
  EXPECT_EQ(image.Rgb(x, y)[1], 255);
  for (float d : {-4.0f, 4.0f}) EXPECT_TRUE(image.Rgb(x + d, y)[1] == 0 && image.Rgb(x, y + d)[1] == 0);
}

TEST_F(RenderCamera, APointCachedObjectFollowsItsCacheNotItsChannels) {
  AddCamera();
  SceneObject* object = AddObject({50, 50, 0}, {}, OBJECT_UNLIT | OBJECT_DYNAMIC);  // far off by its channels
  AddSquare(object, AddSurface({1, 1, 1}), {0, 0, 10}, 0.2f);
  Precalculate();  // which would look for the cache's file; this one is made here
  ForeignPtr<PointCache> cache = NewPointCache();
  cache->frameCount = 3;
  cache->pointCount = 4;
  cache->frameStep = 1;
  cache->length = 2;
  for (uint32_t sample = 0; sample < 3; ++sample)
    for (const Vertex& vertex : object->baseVertices)
      cache->positions.push_back({vertex.position.x + float(sample), vertex.position.y, vertex.position.z});
  object->pointCache = std::move(cache);
  // Halfway between two samples, the last one, and past the end where a frame passing unseen left it.
  const float times[][2] = {{0.5f, 0.5f}, {2, 2}, {5, 0.5f}};
  for (const auto& [time, sampleX] : times) {
    if (time == 5) scene->AdvanceFrame(0.5f);
    const auto [x, y] = Project({sampleX, 0, 10});
    ExpectBlobAt(Render(time), x, y, 1.0f, "point cache");
  }
}

}  // namespace
}  // namespace render_test
