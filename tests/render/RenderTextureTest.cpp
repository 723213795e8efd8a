// Textured surfaces as the texture cache leaves them, and the LightWave look's projections.
#include "render/RenderFixture.h"
#include "support/ImageWriter.h"
#include "textures/Textures.h"

namespace render_test {
namespace {

using Rgb = std::vector<int>;
// Colours, in 4 × 2 blocks of a picture (top row first): one per quarter turn and half height.
const Rgb BLOCKS[8] = {{255, 0, 0},   {0, 255, 0},     {0, 0, 255},     {255, 255, 0},
                           {0, 255, 255}, {255, 0, 255},   {255, 255, 255}, {255, 128, 0}};
const Rgb RED = BLOCKS[0], BLUE = BLOCKS[2], WHITE = BLOCKS[6], ORANGE = BLOCKS[7], BLACK = {0, 0, 0};

class RenderTexture : public RenderFixture {
 protected:
  // A picture of width × height texels of colour(x, y), as a file the texture cache will load.
  template <class Colour>
  void AddPicture(const std::string& name, uint32_t width, uint32_t height, Colour colour) {
    test::Picture picture{width, height, {}};
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        const Rgb rgb = colour(x, y);
        picture.rgb.insert(picture.rgb.end(), rgb.begin(), rgb.end());
      }
    test::WriteBytes(dir / name, test::EncodeImage(test::ImageKind::PNG24, picture));
    system.textureCache.AddReference(name.c_str());
  }

  // A layer naming image, of that projection.
  static TextureLayer& AddLayer(Surface* surface, const char* image, uint8_t projection = PROJECTION_UV) {
    auto layer = std::make_unique<TextureLayer>();
    layer->imageName = image;
    layer->projection = projection;
    layer->channel = surface->layerCount == 0 ? LAYER_COLOR : LAYER_TRANSPARENCY;
    surface->layers[surface->layerCount] = std::move(layer);
    return *surface->layers[surface->layerCount++];
  }

  // Precalculates, then loads the textures into the context.
  void LoadTextures() {
    Precalculate();
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()));
    system.textureCache.AddScene(scene.get());
    system.textureCache.Load(&vfs);
  }

  test::TempDir dir;
  Vfs vfs;
};

TEST_F(RenderTexture, UvImagesShowTheRightWayUpScaledByDiffuseAndASecondLayerCutsOut) {
  AddPicture("updown.png", 4, 4, [](uint32_t, uint32_t y) { return y < 2 ? RED : BLUE; });
  AddPicture("colour.png", 4, 4, [](uint32_t, uint32_t) { return ORANGE; });
  AddPicture("mask.png", 4, 4, [](uint32_t x, uint32_t) { return x < 2 ? WHITE : BLACK; });  // the left half
  test::WriteBytes(dir / "broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
  system.textureCache.AddReference("broken.png");
  AddCamera();
  Surface* halved = AddSurface({0, 1, 0});  // its own green plays no part
  halved->diffuse = 0.5f;
  AddLayer(halved, "updown.png");
  SceneObject* upDown = AddObject({3, 0, 10});
  AddSquare(upDown, halved, {}, 1);
  MapSquare(upDown);
  Surface* cutOut = AddSurface({1, 1, 1});
  AddLayer(cutOut, "colour.png");
  AddLayer(cutOut, "mask.png");
  SceneObject* masked = AddObject({0, 0, 10});
  AddSquare(masked, cutOut, {}, 1);
  MapSquare(masked);
  AddSquare(AddObject({0, 0, 12}), AddSurface({0, 1, 0}), {}, 3);  // green, behind
  // An image that can't be decoded leaves its surface in its own blue, not white.
  Surface* undecoded = AddSurface({0, 0, 1});
  AddLayer(undecoded, "broken.png");
  AddSquare(AddObject({-3, 0, 10}), undecoded, {}, 0.5f);
  LoadTextures();

  const Image image = Render(0);
  const struct {
    Vec3 point;
    std::vector<int> rgb;
    const char* what;
  } probes[] = {{{3, 0.5f, 10}, {128, 0, 0}, "red on top, at half strength"},
                {{3, -0.5f, 10}, {0, 0, 128}, "blue below"},
                {{-3, 0, 10}, {0, 0, 255}, "undecoded"},
                {{-0.5f, 0, 10}, {255, 128, 0}, "orange where the mask is white"},
                {{0.5f, 0, 10}, {0, 255, 0}, "cut out: the green square shows through"}};
  for (const auto& probe : probes) EXPECT_PRED2(Near, image.Rgb(Project(probe.point)), probe.rgb) << probe.what;
  // Drawn from arrays as a dynamic object, it shows the same.
  upDown->flags |= OBJECT_DYNAMIC;
  EXPECT_TRUE(Render(0).rgb == image.rgb);
}

// A ball's blocks (u = ½ + turn from -z, v = ½ + latitude / 180°); a front backdrop fills any view; planar u -½ to 1½.
TEST_F(RenderTexture, LightWaveProjectionsAndWrapModesShowTheTexelsWorkedOut) {
  system.settings.lightwave = true;
  AddPicture("blocks.png", 64, 32, [](uint32_t x, uint32_t y) { return BLOCKS[y / 16 * 4 + x / 16]; });
  Ramp(AddCamera()->envelopes[CHANNEL_POSITION_X], 0, 0, 10, 2);  // the camera moves right
  Surface* globe = AddSurface({0, 0, 0});
  AddLayer(globe, "blocks.png", PROJECTION_SPHERICAL).axis = AXIS_Y;
  test::AddSphere(AddObject({-5, 0, 20}), globe, 2);
  Surface* front = AddSurface({0, 0, 0});
  AddLayer(front, "blocks.png", PROJECTION_FRONT);
  AddSquare(AddObject({0, 0, 40}), front, {}, 40);
  const struct {
    uint8_t wrap;
    std::vector<int> rgb;
  } wraps[] = {{WRAP_REPEAT, BLOCKS[1]}, {WRAP_MIRROR, BLOCKS[2]}, {WRAP_EDGE, BLOCKS[3]}, {WRAP_RESET, BLACK}};
  for (int i = 0; i < 4; ++i) {
    Surface* surface = AddSurface({0, 0, 0});
    TextureLayer& layer = AddLayer(surface, "blocks.png", PROJECTION_PLANAR);
    layer.axis = AXIS_Z, layer.size = {1, 1, 1}, layer.wrapU = wraps[i].wrap;
    AddSquare(AddObject({-4.5f + 3 * float(i), -4, 20}), surface, {}, 1);
  }
  LoadTextures();

  const Image image = Render(0);
  const struct {
    Vec3 point;
    int block;
  } probes[] = {{{-5 + 0.8660254f, 1, 20 - 1.5f}, 2},  // 30° right, 30° up
                {{-5 - 1.6275953f, -0.6840403f, 20 - 0.9396926f}, 5}};  // 60° left, 20° down
  for (const auto& probe : probes)
    EXPECT_PRED2(Near, image.Rgb(Project(probe.point)), BLOCKS[probe.block]) << "sphere, block " << probe.block;
  for (int i = 0; i < 4; ++i)
    EXPECT_PRED2(Near, image.Rgb(Project({-4.5f + 3 * float(i) + 0.9f, -4 + 0.25f, 20})), wraps[i].rgb)
        << "wrap mode " << int(wraps[i].wrap);
  for (float time : {0.0f, 10.0f}) {
    const Image frame = Render(time);
    EXPECT_PRED2(Near, frame.Rgb(0.375f * WIDTH, 0.2f * HEIGHT), BLOCKS[1]) << "front, top left, frame " << time;
    EXPECT_PRED2(Near, frame.Rgb(0.875f * WIDTH, 0.9f * HEIGHT), BLOCKS[7]) << "front, bottom right, frame " << time;
  }
}

}  // namespace
}  // namespace render_test
