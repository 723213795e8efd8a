// Textured surfaces as the texture cache leaves them, and the LightWave look's projections.
#include "render/RenderFixture.h"
#include "support/ImageWriter.h"
#include "textures/Textures.h"

namespace render_test {
namespace {

class RenderTexture : public RenderFixture {
 protected:
  // A 4 × 4 picture: top and bottom halves, or left and right halves, of two colours.
  void AddImage(const std::string& name, bool leftRight, const uint8_t first[3], const uint8_t second[3]) {
    test::Picture picture{4, 4, {}};
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 4; ++x) {
        const uint8_t* colour = (leftRight ? x : y) < 2 ? first : second;
        picture.rgb.insert(picture.rgb.end(), colour, colour + 3);
      }
    test::WriteBytes(dir / name, test::EncodeImage(test::ImageKind::PNG24, picture));
    system.textureCache.AddReference(name.c_str());
  }

  // A 64 × 32 picture of 4 × 2 blocks of BLOCKS' colours (top row first): a block per quarter
  // turn and half height of a projection.
  static constexpr uint8_t BLOCKS[8][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},     {255, 255, 0},
                                           {0, 255, 255}, {255, 0, 255}, {255, 255, 255}, {255, 128, 0}};
  void AddBlocks(const std::string& name) {
    test::Picture picture{64, 32, {}};
    for (uint32_t y = 0; y < 32; ++y)
      for (uint32_t x = 0; x < 64; ++x) picture.rgb.insert(picture.rgb.end(), BLOCKS[y / 16 * 4 + x / 16], BLOCKS[y / 16 * 4 + x / 16] + 3);
    test::WriteBytes(dir / name, test::EncodeImage(test::ImageKind::PNG24, picture));
    system.textureCache.AddReference(name.c_str());
  }
  static std::vector<int> Block(int block) { return {BLOCKS[block][0], BLOCKS[block][1], BLOCKS[block][2]}; }
  // Within a few steps: the small mip-maps of a face seen edge-on blend a little.
  static bool Near(const std::vector<int>& rgb, const std::vector<int>& expected) {
    for (size_t i = 0; i < 3; ++i)
      if (std::abs(rgb[i] - expected[i]) > 4) return false;
    return true;
  }

  void SetLightWave(bool on) {
    Settings settings = system.settings;
    settings.lightwave = on;
    system.ApplySettings(settings);
  }

  // A layer naming image, with UV mapping.
  static void AddLayer(Surface* surface, const char* image) {
    auto layer = std::make_unique<TextureLayer>();
    layer->imageName = image;
    layer->projection = PROJECTION_UV;
    layer->channel = surface->layerCount == 0 ? LAYER_COLOR : LAYER_TRANSPARENCY;
    surface->layers[surface->layerCount++] = std::move(layer);
  }

  // Precalculates, then loads the textures into the context.
  void LoadTextures() {
    Precalculate();
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()));
    system.textureCache.AddScene(scene.get());
    system.textureCache.Load(&vfs);
  }

  void TearDown() override {
    system.textureCache.Free();
    RenderFixture::TearDown();
  }

  test::TempDir dir;
  Vfs vfs;
};

TEST_F(RenderTexture, AnImageShowsTheRightWayUpInWhiteScaledByDiffuse) {
  const uint8_t red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
  AddImage("updown.png", false, red, blue);  // red on top
  AddCamera();
  Surface* surface = AddSurface({0, 1, 0});  // its own green plays no part
  surface->diffuse = 0.5f;
  AddLayer(surface, "updown.png");
  SceneObject* square = AddObject({0, 0, 10});
  AddSquare(square, surface, {}, 1);
  MapSquare(square);
  LoadTextures();
  ASSERT_NE(surface->layers[0]->texture, nullptr);

  const Image image = Render(0);
  const Blob blob = FindBlob(image);
  ASSERT_GT(blob.count, 0u);
  const uint32_t x = uint32_t(blob.x);
  const uint32_t upper = blob.top + (blob.bottom - blob.top) / 4, lower = blob.bottom - (blob.bottom - blob.top) / 4;
  EXPECT_NEAR(image.R(x, upper), 128, 1);
  EXPECT_EQ(image.G(x, upper), 0);
  EXPECT_EQ(image.B(x, upper), 0);
  EXPECT_EQ(image.R(x, lower), 0);
  EXPECT_NEAR(image.B(x, lower), 128, 1);
  // Drawn from arrays as a dynamic object, it shows the same.
  square->flags |= OBJECT_DYNAMIC;
  EXPECT_TRUE(Render(0).rgb == image.rgb);
}

TEST_F(RenderTexture, ASecondLayerCutsTheFirstOutByItsBrightness) {
  const uint8_t orange[3] = {255, 128, 0}, white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
  AddImage("colour.png", true, orange, orange);
  AddImage("mask.png", true, white, black);  // shows the left half only
  AddCamera();
  Surface* cutOut = AddSurface({1, 1, 1});
  AddLayer(cutOut, "colour.png");
  AddLayer(cutOut, "mask.png");
  SceneObject* square = AddObject({0, 0, 10});
  AddSquare(square, cutOut, {}, 1);
  MapSquare(square);
  AddSquare(AddObject({0, 0, 12}), AddSurface({0, 1, 0}), {}, 3);  // green, behind
  // An image that can't be decoded leaves its surface in its own blue, not white.
  test::WriteBytes(dir / "broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
  system.textureCache.AddReference("broken.png");
  Surface* undecoded = AddSurface({0, 0, 1});
  AddLayer(undecoded, "broken.png");
  AddSquare(AddObject({-3, 0, 10}), undecoded, {}, 0.5f);
  LoadTextures();

  Image image = Render(0);
  float left, right, y, blue;
  Project({-3, 0, 10}, &blue, &y);
  EXPECT_TRUE(image.B(uint32_t(blue), uint32_t(y)) == 255 && image.R(uint32_t(blue), uint32_t(y)) == 0);
  Project({-0.5f, 0, 10}, &left, &y);
  Project({0.5f, 0, 10}, &right, &y);
  EXPECT_EQ(image.R(uint32_t(left), uint32_t(y)), 255);
  EXPECT_NEAR(image.G(uint32_t(left), uint32_t(y)), 128, 1);
  EXPECT_EQ(image.R(uint32_t(right), uint32_t(y)), 0) << "cut out: the green square shows through";
  EXPECT_EQ(image.G(uint32_t(right), uint32_t(y)), 255);
}

// Each probe: a point on a solid and its block worked out by hand (u = ½ + turn from -z,
// v = ½ + latitude / 180° or height / size; cubic by the face's axis).
TEST_F(RenderTexture, LightWaveProjectionsShowTheTexelWorkedOutForAPointOfASolid) {
  SetLightWave(true);
  AddBlocks("blocks.png");
  AddCamera();
  struct Probe {
    Vec3 point;  // object coordinates
    int block;
    const char* what;
  };
  struct Case {
    uint8_t projection;
    Vec3 position, size;
    Probe probes[2];
  };
  const Case cases[] = {
      {PROJECTION_SPHERICAL, {-5, 0, 20}, {1, 1, 1},
       {{{0.8660254f, 1, -1.5f}, 2, "sphere, 30° right, 30° up"},
        {{-1.6275953f, -0.6840403f, -0.9396926f}, 5, "sphere, 60° left, 20° down"}}},
      {PROJECTION_CYLINDRICAL, {0, 0, 20}, {1, 4, 1},
       {{{1.7320508f, -1, -1}, 6, "cylinder, 60° right, low"}, {{-1, 1, -1.7320508f}, 1, "cylinder, 30° left, high"}}},
      {PROJECTION_CUBIC, {5, 0, 20}, {2, 2, 2},
       {{{0.25f, 0.5f, -1}, 2, "cube, front face"}, {{-1, 0.5f, -0.25f}, 1, "cube, left face"}}},
  };
  for (const Case& c : cases) {
    Surface* surface = AddSurface({0, 0, 0});
    AddLayer(surface, "blocks.png");
    surface->layers[0]->projection = c.projection;
    surface->layers[0]->axis = AXIS_Y;
    surface->layers[0]->size = c.size;
    SceneObject* solid = AddObject(c.position);
    if (c.projection == PROJECTION_SPHERICAL) test::AddSphere(solid, surface, 2);
    if (c.projection == PROJECTION_CYLINDRICAL) test::AddCylinder(solid, surface, 32, 2, 2);
    if (c.projection == PROJECTION_CUBIC) test::AddCube(solid, surface);
  }
  LoadTextures();
  const Image image = Render(0);
  for (const Case& c : cases)
    for (const Probe& probe : c.probes) {
      float x, y;
      Project({c.position.x + probe.point.x, c.position.y + probe.point.y, c.position.z + probe.point.z}, &x, &y);
      EXPECT_PRED2(Near, image.Rgb(x, y), Block(probe.block)) << probe.what;
    }
}

TEST_F(RenderTexture, LightWaveFrontProjectionFollowsTheCameraAndWrapModesTileAsTheLayerSays) {
  SetLightWave(true);
  AddBlocks("blocks.png");
  Ramp(AddCamera()->envelopes[CHANNEL_POSITION_X], 0, 0, 10, 2);  // the camera moves right
  // A backdrop with the picture front-projected: it fills the frame, wherever the camera is.
  Surface* front = AddSurface({0, 0, 0});
  AddLayer(front, "blocks.png");
  front->layers[0]->projection = PROJECTION_FRONT;
  AddSquare(AddObject({0, 0, 40}), front, {}, 40);
  // Four squares mapped planar along z, u from -½ to 1½, probed at u 1.4, v 0.75.
  const struct {
    uint8_t wrap;
    std::vector<int> rgb;
  } wraps[] = {{WRAP_REPEAT, Block(1)}, {WRAP_MIRROR, Block(2)}, {WRAP_EDGE, Block(3)}, {WRAP_RESET, {0, 0, 0}}};
  for (int i = 0; i < 4; ++i) {
    Surface* surface = AddSurface({0, 0, 0});
    AddLayer(surface, "blocks.png");
    TextureLayer& layer = *surface->layers[0];
    layer.projection = PROJECTION_PLANAR, layer.axis = AXIS_Z, layer.size = {1, 1, 1}, layer.wrapU = wraps[i].wrap;
    AddSquare(AddObject({-4.5f + 3 * float(i), -2, 20}), surface, {}, 1);
  }
  LoadTextures();

  for (float time : {0.0f, 10.0f}) {
    const Image image = Render(time);
    EXPECT_PRED2(Near, image.Rgb(0.375f * WIDTH, 0.2f * HEIGHT), Block(1)) << "front, top left, frame " << time;
    EXPECT_PRED2(Near, image.Rgb(0.875f * WIDTH, 0.9f * HEIGHT), Block(7)) << "front, bottom right, frame " << time;
  }
  const Image image = Render(0);
  for (int i = 0; i < 4; ++i) {
    float x, y;
    Project({-4.5f + 3 * float(i) + 0.9f, -2 + 0.25f, 20}, &x, &y);
    EXPECT_PRED2(Near, image.Rgb(x, y), wraps[i].rgb) << "wrap mode " << int(wraps[i].wrap);
  }
}

}  // namespace
}  // namespace render_test
