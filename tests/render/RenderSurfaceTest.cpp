// What things look like: lights, the two passes, culling, the trail and dynamic objects.
#include "render/RenderFixture.h"

#include <cmath>

namespace render_test {
namespace {

using RenderSurface = RenderFixture;

// Grey 0.5 under GL's default ambient light of 0.2: a face no light reaches.
constexpr int AMBIENT_ONLY = 26;
// Grey 0.5 lit at 45° by a white light, plus the ambient part.
const int LIT_AT_45 = int(std::lround((0.5 * std::sqrt(0.5) + 0.1) * 255));

// Classic: kind 2 shines along its position; LightWave: by type, distant and spot along their +Z; ambient 0.4 × 0.5.
TEST_F(RenderSurface, EachKindOfLightLightsTheFacesTurnedTowardsIt) {
  const int HALF_AT_45 = int(std::lround((0.25 * std::sqrt(0.5) + 0.1) * 255));
  const int FULL = int(std::lround(0.6 * 255));
  // The left square faces the spot head on: it stands 5 along the square's normal, turned back.
  const Vec3 spot = {-1.5f + 5 * std::sqrt(0.5f), 0, 10 - 5 * std::sqrt(0.5f)};
  constexpr float RIGHT = 90 * DEGREES;
  struct Case {
    bool lightwave;
    uint8_t kind;  // the classic kind, or the LightWave type
    Vec3 position, rotation;
    float intensity;
    uint32_t lightIndex;
    int left, right;
    const char* what;
  };
  const Case cases[] = {
      {false, LIGHT_DISTANT, {-1, 0, 0}, {}, 1, 0, AMBIENT_ONLY, LIT_AT_45, "distant, from the left"},
      {false, LIGHT_DISTANT, {1, 0, 0}, {}, 1, 0, LIT_AT_45, AMBIENT_ONLY, "distant, from the right"},
      {false, LIGHT_DISTANT, {0, 0, -1}, {}, 1, 0, LIT_AT_45, LIT_AT_45, "distant, from the camera's side"},
      {false, LIGHT_DISTANT, {0, 0, 1}, {}, 1, 0, AMBIENT_ONLY, AMBIENT_ONLY, "distant, from behind"},
      {false, LIGHT_POINT, {-6, 0, 10}, {}, 1, 0, AMBIENT_ONLY, LIT_AT_45, "point, on the left"},
      {false, LIGHT_POINT, {6, 0, 10}, {}, 1, 0, LIT_AT_45, AMBIENT_ONLY, "point, on the right"},
      {false, LIGHT_DISTANT, {0, 0, -1}, {}, 1, 7, AMBIENT_ONLY, AMBIENT_ONLY, "an eighth light has no GL light"},
      {true, LIGHT_TYPE_DISTANT, {-50, 0, 0}, {RIGHT, 0, 0}, 1, 0, AMBIENT_ONLY, LIT_AT_45, "LW distant along +x"},
      {true, LIGHT_TYPE_DISTANT, {}, {-RIGHT, 0, 0}, 1, 0, LIT_AT_45, AMBIENT_ONLY, "LW distant along -x"},
      {true, LIGHT_TYPE_DISTANT, {}, {}, 1, 0, LIT_AT_45, LIT_AT_45, "LW distant along +z, onto their fronts"},
      {true, LIGHT_TYPE_DISTANT, {}, {0, RIGHT, 0}, 1, 0, AMBIENT_ONLY, AMBIENT_ONLY, "LW distant, straight down"},
      {true, LIGHT_TYPE_DISTANT, {}, {RIGHT, 0, 0}, 0.5f, 0, AMBIENT_ONLY, HALF_AT_45, "LW at half intensity"},
      {true, LIGHT_TYPE_DISTANT, {}, {RIGHT, 0, 0}, -0.5f, 0, AMBIENT_ONLY, HALF_AT_45, "LW intensity envelope at 0.5"},
      {true, LIGHT_TYPE_SPOT, spot, {-45 * DEGREES, 0, 0}, 1, 0, FULL, AMBIENT_ONLY, "LW spot on the left square"},
      {true, LIGHT_TYPE_SPOT, spot, {-25 * DEGREES, 0, 0}, 1, 0, AMBIENT_ONLY, AMBIENT_ONLY, "LW spot turned away"},
      {true, LIGHT_TYPE_AREA, {6, 0, 10}, {}, 1, 0, LIT_AT_45, AMBIENT_ONLY, "LW area light, shone as a point"},
      {false, LIGHT_POINT, {}, {}, 1, 0, LIT_AT_45, AMBIENT_ONLY, "point, on a parent that moved to the right"},
  };
  // Two grey squares turned 45° towards the middle, probed at their centres, and one light.
  scene->ambientColor = {0.4f, 0.4f, 0.4f};
  Constant(scene->ambientIntensityEnvelope, 0.5f);
  AddCamera();
  Surface* grey = AddSurface({0.5f, 0.5f, 0.5f});
  AddSquare(AddObject({-1.5f, 0, 10}, {-45 * DEGREES, 0, 0}, 0), grey, {}, 0.5f);
  AddSquare(AddObject({1.5f, 0, 10}, {45 * DEGREES, 0, 0}, 0), grey, {}, 0.5f);
  SceneObject* carrier = AddObject({0, 0, 10});  // from x -6 at frame 0 to 6 at 10
  Ramp(carrier->envelopes[CHANNEL_POSITION_X], 0, -6, 10, 6);
  Light* light = AddLight(LIGHT_POINT, {});
  light->coneAngle = 10;
  light->edgeAngle = 0;
  for (const Case& c : cases) {
    system.settings.lightwave = c.lightwave;
    light->kind = light->type = c.kind;
    light->lightIndex = c.lightIndex;
    light->intensity = c.intensity;
    light->intensityEnvelope.reset();
    if (c.intensity < 0) Constant(light->intensityEnvelope, -c.intensity);  // the envelope wins
    for (int i = 0; i < 3; ++i) Constant(light->envelopes[i], (&c.position.x)[i]);
    for (int i = 0; i < 3; ++i) Constant(light->envelopes[CHANNEL_HEADING + i], (&c.rotation.x)[i]);
    light->parent = c.position.z == 0 && c.kind == LIGHT_POINT ? carrier : nullptr;
    const Image image = Render(10);
    EXPECT_NEAR(image.Rgb(Project({-1.5f, 0, 10}))[1], c.left, 3) << c.what;
    EXPECT_NEAR(image.Rgb(Project({1.5f, 0, 10}))[1], c.right, 3) << c.what;
  }

  // Falloff over the range in either look (none for a distant light); a spot's soft edge is half strength halfway.
  const struct {
    bool lightwave;
    uint8_t type;
    uint32_t falloff;
    float range, constant, linear, quadratic;
  } falloffs[] = {{false, 0, 0, 4, 1, 0, 0},  {false, 0, 1, 4, 0, 0.5f, 0}, {false, 0, 2, 4, 0, 0, 0.25f},
                  {false, 0, 3, 8, 0, 0, 0.125f}, {false, 0, 1, 0, 1, 0, 0}, {false, 0, 4, 4, 1, 0, 0},
                  {true, LIGHT_TYPE_SPOT, 2, 4, 0, 0.25f, 0}, {true, LIGHT_TYPE_POINT, 3, 4, 0, 0, 0.0625f},
                  {true, LIGHT_TYPE_POINT, 1, 4, 1, 0, 0.25f}, {true, LIGHT_TYPE_DISTANT, 2, 4, 1, 0, 0}};
  light->coneAngle = 30;
  light->edgeAngle = 10;
  for (const auto& f : falloffs) {
    system.settings.lightwave = f.lightwave;
    light->type = f.type;
    light->range = f.range;
    light->falloff = f.falloff;
    Render(0);
    const GLenum names[5] = {GL_CONSTANT_ATTENUATION, GL_LINEAR_ATTENUATION, GL_QUADRATIC_ATTENUATION, GL_SPOT_CUTOFF,
                             GL_SPOT_EXPONENT};
    GLfloat got[5] = {-1, -1, -1, 0, 0};
    for (int i = 0; i < 5; ++i) glGetLightfv(GL_LIGHT1, names[i], &got[i]);
    EXPECT_TRUE(got[0] == f.constant && got[1] == f.linear && got[2] == f.quadratic)
        << "falloff " << f.falloff << " range " << f.range << ": " << got[0] << " " << got[1] << " " << got[2];
    const bool spot = f.type == LIGHT_TYPE_SPOT;
    EXPECT_TRUE(spot ? got[3] == 30 && std::fabs(std::pow(std::cos(25 * DEGREES), got[4]) - 0.5f) < 1e-4f : got[3] == 180);
  }
}

// Dissolve halves the alpha of the whole object, opaque surfaces moving to the transparent pass.
TEST_F(RenderSurface, ADissolvingObjectFadesAsAWholeWithTheLightWaveLook) {
  for (uint32_t dynamic : {0u, uint32_t(OBJECT_DYNAMIC)}) {
    system.settings.lightwave = false;
    NewScene();
    AddCamera();
    SceneObject* object = AddObject({0, 0, 10}, {}, OBJECT_UNLIT | dynamic);
    AddSquare(object, AddSurface({1, 1, 1}), {}, 1);
    AddSquare(AddObject({0, 0, 12}), AddSurface({0, 1, 0}), {}, 0.5f);
    object->dissolve = 0.5f;
    EXPECT_EQ(Render(0).Rgb(WIDTH / 2, HEIGHT / 2), (std::vector<int>{255, 255, 255})) << "classic";
    system.settings.lightwave = true;
    const Image image = Render(0);
    EXPECT_PRED2(Near, image.Rgb(WIDTH / 2, HEIGHT / 2), (std::vector<int>{128, 255, 128})) << dynamic;
    EXPECT_PRED2(Near, image.Rgb(WIDTH / 2, HEIGHT / 2 - 30), (std::vector<int>{128, 128, 128})) << dynamic;
    Ramp(object->dissolveEnvelope, 0, 0, 10, 1);
    EXPECT_NEAR(Render(2.5f).Rgb(WIDTH / 2, HEIGHT / 2 - 30)[0], 191, 1) << dynamic;
    EXPECT_EQ(Render(10).Rgb(WIDTH / 2, HEIGHT / 2 - 30)[0], 0) << dynamic;
  }
}

// Red before transparent green: opaque, red writes depth and hides it; in the transparent pass green covers it.
TEST_F(RenderSurface, TransparencyZeroAndOneThousandthTakeDifferentPasses) {
  const std::vector<int> RED = {255, 0, 0}, GREEN = {0, 255, 0};
  for (float redTransparency : {0.0f, 0.001f}) {
    NewScene();
    AddCamera();
    Surface* red = AddSurface({1, 0, 0});
    red->transparency = redTransparency;
    AddSurface({0, 1, 0})->transparency = 0.001f;
    SceneObject* front = AddObject({0, 0, 8});
    AddSquare(front, red, {}, 0.5f);
    AddSquare(AddObject({0, 0, 12}), scene->surfaces[1].get(), {}, 1.5f);
    EXPECT_PRED2(Near, Render(0).Rgb(WIDTH / 2, HEIGHT / 2), redTransparency ? GREEN : RED);
    if (redTransparency) continue;
    // A display list keeps the pass it was recorded with; a dynamic object follows its surface.
    red->transparency = 0.001f;
    EXPECT_PRED2(Near, Render(0).Rgb(WIDTH / 2, HEIGHT / 2), RED);
    front->flags |= OBJECT_DYNAMIC;
    EXPECT_PRED2(Near, Render(0).Rgb(WIDTH / 2, HEIGHT / 2), GREEN);
  }
}

// Two grey squares turned away, lit from the camera's side: single-sided left, double-sided right.
TEST_F(RenderSurface, BackFacesShowOnlyOnDoubleSidedSurfacesAndAreLitThere) {
  AddCamera();
  AddLight(LIGHT_DISTANT, {0, 0, -1});
  AddSquare(AddObject({-2, 0, 10}, {180 * DEGREES, 0, 0}, 0), AddSurface({0.5f, 0.5f, 0.5f}), {}, 1);
  Surface* doubleSided = AddSurface({0.5f, 0.5f, 0.5f}, 0, SURFACE_INITIAL | SURFACE_DOUBLE_SIDED);
  AddSquare(AddObject({2, 0, 10}, {180 * DEGREES, 0, 0}, 0), doubleSided, {}, 1);
  const Image image = Render(0);
  EXPECT_EQ(image.Rgb(Project({-2, 0, 10})), (std::vector<int>{0, 0, 0})) << "culled";
  EXPECT_NEAR(image.Rgb(Project({2, 0, 10}))[1], int(std::lround(0.6 * 255)), 2) << "lit from the front";
}

TEST_F(RenderSurface, TrailLeavesFadingCopiesAtTheFiveFramesBefore) {
  AddCamera();
  Surface* white = AddSurface({1, 1, 1});
  SceneObject* object = AddObject({0, 0, 10}, {}, OBJECT_UNLIT | OBJECT_DYNAMIC | OBJECT_TRAIL);
  AddSquare(object, white, {}, 0.2f);
  Ramp(object->envelopes[CHANNEL_POSITION_X], 0, -3, 20, 7);  // half a unit per frame
  const Image image = Render(10);
  // The copies at the five frames before, fading in, then the object itself.
  for (int i = 0; i < 6; ++i)
    EXPECT_NEAR(image.Rgb(Project({-3 + 0.5f * float(5 + i), 0, 10}))[0], i < 5 ? (0.02f + float(i) / 61) * 255 : 255,
                1.0f) << "copy " << i;
  EXPECT_TRUE(white->transparency == 0 && object->channelValues[CHANNEL_POSITION_X] == 1.5f) << "opaque, at time - 1";
  // A frame passing unseen leaves the same behind.
  white->transparency = 0.5f;
  scene->AdvanceFrame(12);
  EXPECT_TRUE(white->transparency == 0 && object->channelValues[CHANNEL_POSITION_X] == 2.5f);
}

TEST_F(RenderSurface, DynamicObjectsDrawTheSamePixelsAsDisplayLists) {
  // A ball of smooth, flat and transparent surfaces under two lights; dynamic, it morphs halfway to itself.
  auto render = [this](uint32_t flags, bool lightwave) {
    NewScene();
    system.settings.lightwave = lightwave;
    AddCamera({0, 2, -2}, {0, 20 * DEGREES, 0});
    Surface* surfaces[3] = {AddSurface({0.9f, 0.5f, 0.2f}, 1.0f), AddSurface({0.2f, 0.6f, 0.9f}, 0),
                            AddSurface({0.7f, 0.7f, 0.7f}, 1.0f)};
    surfaces[2]->transparency = 0.4f;
    SceneObject* ball = AddObject({0, -1, 8}, {0.3f, -0.2f, 0.1f}, flags);
    test::AddSphere(ball, surfaces[0], 2);
    for (size_t t = 0; t < ball->triangles.size(); ++t) ball->triangles[t].surface = surfaces[t / 8 % 3];
    if (flags & OBJECT_DYNAMIC) {
      SceneObject* target = AddObject({}, {}, OBJECT_HIDDEN);
      scene->CloneObjectGeometry(ball, target);
      ball->morphTarget = target;
      Constant(ball->envelopes[CHANNEL_MORPH_AMOUNT], 0.5f);
    }
    AddLight(LIGHT_POINT, {3, 4, 2}, {1, 0.9f, 0.8f});
    AddLight(LIGHT_DISTANT, {-1, 0.5f, -1}, {0.3f, 0.3f, 0.5f});
    return Render(0);
  };
  for (bool lightwave : {false, true}) {
    const Image listed = render(0, lightwave);
    const Image arrays = render(OBJECT_DYNAMIC, lightwave);
    EXPECT_GT(FindBlob(listed).count, 5000u) << lightwave;
    EXPECT_TRUE(listed.rgb == arrays.rgb) << (lightwave ? "LightWave look" : "classic look");
  }
}

}  // namespace
}  // namespace render_test
