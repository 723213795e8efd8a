// Where things land on the image, against positions worked out by hand from the camera maths.
#include "lightwave/Lightwave.h"
#include "render/RenderFixture.h"

namespace render_test {
namespace {

using RenderCamera = RenderFixture;

TEST_F(RenderCamera, UnlitSquareLandsWhereTheProjectionPutsIt) {
  AddCamera();
  AddSquare(AddObject({1, 0.5f, 10}), AddSurface({1, 0, 0}), {}, 0.25f);
  const Image image = Render(0);

  // Its corners, projected by hand: the square covers exactly the pixels between them.
  float left, top, right, bottom;
  Project({0.75f, 0.75f, 10}, &left, &top);
  Project({1.25f, 0.25f, 10}, &right, &bottom);
  const Blob blob = FindBlob(image);
  ASSERT_GT(blob.count, 0u);
  EXPECT_NEAR(blob.left, left, 1.0f);
  EXPECT_NEAR(blob.right + 1, right, 1.0f);
  EXPECT_NEAR(blob.top, top, 1.0f);
  EXPECT_NEAR(blob.bottom + 1, bottom, 1.0f);
  // Unlit, it shows its colour times diffuse exactly.
  EXPECT_EQ(image.R(uint32_t(blob.x), uint32_t(blob.y)), 255);
  EXPECT_EQ(image.G(uint32_t(blob.x), uint32_t(blob.y)), 0);
  EXPECT_TRUE(image.Black(WIDTH / 2, HEIGHT / 2));

  // A camera moved to the square's position sees it in the middle.
  scene->cameras[0]->envelopes[0]->keys[0].value = 1;
  scene->cameras[0]->envelopes[1]->keys[0].value = 0.5f;
  ExpectBlobAt(Render(0), WIDTH / 2.0f, HEIGHT / 2.0f, 0.5f, "camera moved onto the square");
}

TEST_F(RenderCamera, HeadingPitchAndBankTurnTheViewAsLightWaveDoes) {
  Camera* camera = AddCamera();
  SceneObject* square = AddObject({0, 0, 10});
  AddSquare(square, AddSurface({1, 1, 1}), {}, 0.2f);
  const float f = 1.0f / std::tan(34.71f * 0.5f * DEGREES), aspect = float(WIDTH) / HEIGHT;
  auto turn = [camera](float h, float p, float b) {
    camera->envelopes[CHANNEL_HEADING]->keys[0].value = h;
    camera->envelopes[CHANNEL_PITCH]->keys[0].value = p;
    camera->envelopes[CHANNEL_BANK]->keys[0].value = b;
  };
  // Heading turns the camera right: what was ahead moves left.
  turn(10 * DEGREES, 0, 0);
  ExpectBlobAt(Render(0), (1 - f / aspect * std::tan(10 * DEGREES)) * 0.5f * WIDTH, HEIGHT / 2.0f, 1.0f, "heading");
  // Pitch tips the camera down: what was ahead moves up.
  turn(0, 10 * DEGREES, 0);
  ExpectBlobAt(Render(0), WIDTH / 2.0f, (1 - f * std::tan(10 * DEGREES)) * 0.5f * HEIGHT, 1.0f, "pitch");
  // Bank rolls the camera anticlockwise, so the image turns clockwise: a square on the right
  // goes to the bottom.
  square->envelopes[CHANNEL_POSITION_X]->keys[0].value = 1;
  turn(0, 0, 90 * DEGREES);
  ExpectBlobAt(Render(0), WIDTH / 2.0f, (1 + f * 0.1f) * 0.5f * HEIGHT, 1.0f, "bank");
}

// With the LightWave look the zoom factor sets the field of view (the image is 2 units high at
// the zoom's distance): twice the zoom puts a point twice as far from the centre. The classic
// look keeps its one field of view.
TEST_F(RenderCamera, TheLightWaveLookTakesTheFieldOfViewFromTheZoom) {
  Camera* camera = AddCamera();
  AddSquare(AddObject({1, 0.5f, 10}), AddSurface({1, 0, 0}), {}, 0.1f);
  camera->zoomFactor = 6.4f;
  float x, y;
  Project({1, 0.5f, 10}, &x, &y);
  ExpectBlobAt(Render(0), x, y, 1.0f, "classic");
  system.settings.lightwave = true;
  const float cx = WIDTH / 2.0f, cy = HEIGHT / 2.0f;
  ExpectBlobAt(Render(0), cx + 2 * (x - cx), cy + 2 * (y - cy), 1.0f, "zoom 6.4");
  Ramp(camera->zoomEnvelope, 0, 3.2f, 10, 4.8f);
  ExpectBlobAt(Render(10), cx + 1.5f * (x - cx), cy + 1.5f * (y - cy), 1.0f, "zoom 4.8 at frame 10");
}

TEST_F(RenderCamera, ATargetingCameraAimsWhereItsTargetWasTheFrameBefore) {
  // Its heading would turn it away; with a target it is never evaluated.
  Camera* camera = AddCamera({0, 0, -5}, {1, 0, 0});
  SceneObject* target = AddObject({3, 1, 10});
  AddSquare(target, AddSurface({1, 1, 1}), {}, 0.2f);
  camera->target = target;

  // The first frame reads the target's channels before they were ever evaluated: the origin,
  // straight ahead of this camera. The square is where a camera looking along +Z sees it.
  float x, y;
  Project({3, 1, 15}, &x, &y);
  ExpectBlobAt(Render(0), x, y, 1.0f, "first frame");
  ExpectBlobAt(Render(0), WIDTH / 2.0f, HEIGHT / 2.0f, 0.5f, "aimed at the target");
}

TEST_F(RenderCamera, ChildrenFollowTheirParentsWhateverTheObjectOrder) {
  AddCamera();
  // The child comes first in the object list, so it is updated before its parent. It is turned
  // back against the parent's heading, so that it still faces the camera.
  SceneObject* child = AddObject({1, 0, 0}, {-90 * DEGREES, 0, 0});
  AddSquare(child, AddSurface({1, 1, 1}), {}, 0.2f);
  SceneObject* parent = AddObject({-2, 0, 10}, {90 * DEGREES, 0, 0});
  Ramp(parent->envelopes[CHANNEL_POSITION_X], 0, -2, 10, 2);
  child->parent = parent;
  child->parentKind = ITEM_OBJECT;

  // The parent's heading turns the child's offset (1, 0, 0) to (0, 0, −1).
  float x, y;
  Project({-2, 0, 9}, &x, &y);
  ExpectBlobAt(Render(0), x, y, 1.0f, "parent at -2");
  Project({2, 0, 9}, &x, &y);
  ExpectBlobAt(Render(10), x, y, 1.0f, "parent moved to 2");
}

TEST_F(RenderCamera, WidescreenDrawsIntoACentredBandAndLeavesTheRestCleared) {
  SetWidescreen(true);
  AddCamera();
  Surface* red = AddSurface({1, 0, 0});
  AddSquare(AddObject({0, 0, 10}), red, {}, 100);  // fills any view
  AddSquare(AddObject({1, 1, 9}), AddSurface({0, 1, 0}), {}, 0.1f);  // before it
  const Image image = Render(0, {0, 0, 1});

  const uint32_t band = WIDTH / 16 * 9;  // 180
  const uint32_t top = (HEIGHT - band) / 2;
  for (uint32_t y : {0u, top - 1, top + band, HEIGHT - 1})
    EXPECT_TRUE(image.B(WIDTH / 2, y) == 255 && image.R(WIDTH / 2, y) == 0) << "row " << y << " keeps the clear colour";
  for (uint32_t y : {top, top + band / 2, top + band - 1}) EXPECT_EQ(image.R(WIDTH / 2, y), 255) << "row " << y;

  // The band's aspect is 16:9: a square off-centre lands by that aspect, inside the band.
  float x, y;
  Project({1, 1, 9}, &x, &y, 16.0f / 9.0f, band);
  EXPECT_EQ(image.G(uint32_t(x), uint32_t(y)), 255);
  for (float d : {-4.0f, 4.0f}) EXPECT_TRUE(image.G(uint32_t(x + d), uint32_t(y)) == 0 && image.G(uint32_t(x), uint32_t(y + d)) == 0);
}

TEST_F(RenderCamera, APointCachedObjectFollowsItsCacheNotItsChannels) {
  AddCamera();
  // Its own channels would put it far off to the side; the cache alone places it.
  SceneObject* object = AddObject({50, 50, 0}, {}, OBJECT_UNLIT | OBJECT_DYNAMIC);
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

  float x, y;
  Project({0.5f, 0, 10}, &x, &y);
  ExpectBlobAt(Render(0.5f), x, y, 1.0f, "halfway between the first two samples");
  Project({2, 0, 10}, &x, &y);
  ExpectBlobAt(Render(2), x, y, 1.0f, "the last sample");
  // Past its end it stays where the last frame inside left it, drawn or passing unseen.
  scene->AdvanceFrame(0.5f);
  Project({0.5f, 0, 10}, &x, &y);
  ExpectBlobAt(Render(5), x, y, 1.0f, "past the end");
}

}  // namespace
}  // namespace render_test
