// Textured surfaces as the texture cache leaves them: an image the right way up and scaled by
// diffuse, a second layer cutting the first one out, and an image that failed to load.
#include "render/RenderFixture.h"
#include "support/ImageWriter.h"
#include "textures/Textures.h"

namespace render_test {
namespace {

// UV layers are left as they are by the precalculation (it projects only planar ones).
constexpr uint8_t PROJECTION_UV = 5;

class RenderTexture : public RenderFixture {
 protected:
  // A 4 × 4 picture: the top half one colour, the bottom half the other, or the left half and
  // the right half.
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

}  // namespace
}  // namespace render_test
