// The visual actions drawn offscreen and probed by pixel.
#include "actions/ActionsFixture.h"
#include "render/RenderFixture.h"
#include "support/ImageWriter.h"
#include "support/SceneText.h"

using namespace actions_test;
using namespace render_test;

namespace {

constexpr float PI = 3.14159265f;

using Rgb = std::vector<int>;

// A square picture of one colour, its right half of another when that is given.
std::vector<uint8_t> FlatPng(uint32_t side, Rgb left, Rgb right = {}) {
  test::Picture picture{side, side, {}};
  for (uint32_t i = 0; i < side * side; ++i)
    for (int c : i % side < side / 2 || right.empty() ? left : right) picture.rgb.push_back(uint8_t(c));
  return test::EncodeImage(test::ImageKind::PNG24, picture);
}

class VisualActions : public RenderFixture, protected ActionWorkspace {
 protected:
  using RenderFixture::system;  // the scene's; the workspace's own one stays unused

  void TearDown() override {
    system.textureCache.Free();
    RenderFixture::TearDown();
  }

  SceneObject* Null(const std::string& line, Vec3 position = {}) {
    SceneObject* null = AddActionNull(*scene, line);
    Place(null, position);
    return null;
  }

  void LoadTextures() {
    Precalculate();
    system.textureCache.AddScene(scene.get());
    system.textureCache.Load(&vfs);
  }

  void Square(Vec3 position, Vec3 colour, float half, Vec3 rotation = {}) {
    AddSquare(AddObject(position, rotation), AddSurface(colour), {}, half);
  }
};

TEST_F(VisualActions, FadeBlendsItsColourOverTheWholeWindowByPositionX) {
  AddCamera();
  SceneObject* white = Null("AddNullObject ACTFADE 255 255 255");
  SceneObject* red = Null("AddNullObject ACTFADE 255 0 0");
  for (const auto& [whiteX, redX, rgb] : {std::tuple{0.5f, 0.0f, Rgb{128, 128, 255}}, {0.0f, 0.0f, Rgb{0, 0, 255}},
                                          {0.5f, 1.0f, Rgb{255, 0, 0}}}) {
    Constant(white->envelopes[CHANNEL_POSITION_X], whiteX);
    Constant(red->envelopes[CHANNEL_POSITION_X], redX);
    const Image image = Render(0, {0, 0, 1});
    for (const auto& [x, y] : {std::pair{0u, 0u}, {WIDTH / 2, HEIGHT / 2}, {WIDTH - 1, HEIGHT - 1}, {0u, HEIGHT - 1}})
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(image.Rgb(x, y)[c], rgb[c], 2) << whiteX << " " << redX << " " << x;
  }
}

TEST_F(VisualActions, CameraCutShowsFromTheNextFrame) {
  AddCamera();
  AddCamera({}, {PI, 0, 0});  // turned round
  Square({0, 0, 5}, {1, 0, 0}, 1);
  Square({0, 0, -5}, {0, 1, 0}, 1, {PI, 0, 0});
  SceneObject* cut = Null("AddNullObject ACTCAM");
  Steps(cut->envelopes[CHANNEL_SCALE_X], {{0, 0.9f}, {10, 2.7f}, {20, 3}, {30, 1.5f}});
  // 0.9 and 3 (no camera) select nothing, 2.7 the second camera once frame 10 is drawn, 1.5 the first again.
  for (const auto& [t, red] :
       {std::pair{9, true}, {10, true}, {11, false}, {20, false}, {21, false}, {30, false}, {31, true}})
    EXPECT_EQ(Render(float(t)).Rgb(WIDTH / 2, HEIGHT / 2), (red ? Rgb{255, 0, 0} : Rgb{0, 255, 0})) << t;
}

TEST_F(VisualActions, ImageSequencePlaysOneImagePerFrameAndRestarts) {
  const Rgb black = {0, 0, 0}, red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255}, white = {255, 255, 255};
  for (int i = 0; i < 3; ++i) {
    AddFile("col00" + std::to_string(i + 1) + ".png", FlatPng(8, std::vector{red, green, blue}[i]));
    AddFile("alp00" + std::to_string(i + 1) + ".png", FlatPng(8, white, i == 1 ? black : white));
  }
  Mount();
  AddCamera();
  SceneObject* sprite = Null("AddNullObject ACTBAMM col###.png alp###.png 3 2", {0, 0, 5});
  Steps(sprite->envelopes[CHANNEL_SCALE_Z], {{0, 1}, {100, 0.5f}});
  LoadTextures();

  // One image a frame from 100, black after the last, and from 105 (scale Z still below 1) again.
  std::vector<Rgb> left, right;
  for (float t = 99; t <= 105; ++t) {
    const Image image = Render(t);
    left.push_back(image.Rgb(WIDTH / 2 - 30, HEIGHT / 2));
    right.push_back(image.Rgb(WIDTH / 2 + 30, HEIGHT / 2));
  }
  EXPECT_EQ(left, (std::vector<Rgb>{black, red, green, blue, black, black, red}));
  // The second image's alpha cuts its right half out.
  EXPECT_EQ(right, (std::vector<Rgb>{black, red, black, blue, black, black, red}));
  // The sprite is a square of side 2 at distance 5, not the whole screen.
  EXPECT_TRUE(Render(106).Black(5, 5));
  // Time going back to 0 ends a running sequence at once.
  EXPECT_TRUE(Render(0).Rgb(WIDTH / 2, HEIGHT / 2) == black && ActionOf<BitmapAnimAction>(sprite)->running == 0);
  // A frame passing unseen starts it as a drawn one does: the frame after shows the second image.
  scene->AdvanceFrame(200);
  EXPECT_EQ(Render(201).Rgb(WIDTH / 2 - 30, HEIGHT / 2), green);
}

TEST_F(VisualActions, PictureInPictureFillsTheSurfaceTextureWithTheOtherCamerasView) {
  AddFile("screen.png", FlatPng(64, {255, 255, 255}));
  Mount();
  AddCamera();
  AddCamera({}, {PI, 0, 0});
  SceneObject* screen = AddObject({0, 0, 5});
  Surface* surface = AddSurface({1, 1, 1});
  surface->name = "Screen";
  surface->layers[0] = std::make_unique<TextureLayer>();
  surface->layers[0]->imageName = "screen.png";
  surface->layers[0]->projection = 5;  // not planar: the corners keep their coordinates
  surface->layerCount = 1;
  system.AddTextureReference("screen.png");
  AddSquare(screen, surface, {}, 1);
  MapSquare(screen);  // the whole texture
  // The second camera, turned round, sees red on its left, green on its right, blue above.
  Square({10, 0, -5}, {1, 0, 0}, 10, {PI, 0, 0});
  Square({-10, 0, -5}, {0, 1, 0}, 10, {PI, 0, 0});
  Square({0, 10.5f, -4.9f}, {0, 0, 1}, 10, {PI, 0, 0});
  SceneObject* pip = Null("AddNullObject ACTPIP Screen 64");
  SceneObject* tooLarge = Null("AddNullObject ACTPIP Screen 128");
  Constant(pip->envelopes[CHANNEL_SCALE_X], 2);
  Constant(tooLarge->envelopes[CHANNEL_SCALE_X], 7);  // past the last camera: the first one
  LoadTextures();

  Image image = Render(0);
  // The texture's level 0 is 64 square: a 128 picture is not copied, the texture stays usable.
  EXPECT_TRUE(ActionOf<PipAction>(pip)->copies == 1 && ActionOf<PipAction>(tooLarge)->copies == 0);
  // The screen shows that camera's view; the main view is whole again, the little picture gone.
  const auto [left, top] = Project({-0.5f, 0.75f, 5});
  const auto [right, bottom] = Project({0.5f, -0.5f, 5});
  EXPECT_EQ((std::vector{image.Rgb(left, bottom), image.Rgb(right, bottom), image.Rgb(WIDTH / 2.0f, top)}),
            (std::vector<Rgb>{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}));
  EXPECT_TRUE(image.Black(5, HEIGHT - 45) && image.Black(WIDTH - 5, 5));

  // Fully transparent, the surface receives nothing.
  Constant(surface->envelopes[SURFACE_ENV_TRANSPARENCY], 1);
  Render(1);
  EXPECT_EQ(ActionOf<PipAction>(pip)->copies, 1u);
}

TEST_F(VisualActions, ParticlesDrawBetweenStartAndEndAndStopAtTheirLimits) {
  std::vector<std::string> motion;  // the square at x 1 in its scene
  for (int c = 0; c < 9; ++c) motion.push_back(test::LwsChannel(c, c == 0 || c >= 6 ? 1.0f : 0.0f));
  AddSquareScene("square.lws", 30, motion);
  Mount();
  AddCamera();
  SceneObject* still = Null("AddNullObject ACTSPS square.lws 4 10 100 0 0 0 0 0 0", {0, 0, 10});
  SceneObject* flying = Null("AddNullObject ACTSPS square.lws 4 200 300 0 0 0 0 1000 0");
  Place(flying, {0, 0, 10}, {PI / 2, 0, 0}, {2, 2, 2});
  SceneParticlesAction* particles = ActionOf<SceneParticlesAction>(flying);
  ASSERT_TRUE(ActionOf<SceneParticlesAction>(still)->created && particles && particles->created);
  LoadTextures();

  EXPECT_EQ(FindBlob(Render(9)).count, 0u);
  const auto [x, y] = Project({1, 0, 10});  // at the null, no box and no limit to fly within; the square at x 1
  ExpectBlobAt(Render(10), x, y, 2.0f, "first frame");
  EXPECT_TRUE(FindBlob(Render(99.9f)).count > 0 && FindBlob(Render(100)).count == 0);

  // A limit of 0 holds x and z at 0; y flies with its velocity, through frames passing unseen too.
  scene->AdvanceFrame(250);
  for (const SceneParticlesAction::Particle& p : particles->particles) {
    EXPECT_TRUE(p.position.x == 0 && p.position.z == 0);
    EXPECT_NEAR(p.position.y, p.velocity.y * (50 * 2.0f / 300) * 7000, 1e-3);
    EXPECT_EQ(p.nestedTime, std::fmod(50 + p.phase, 30.0f));
  }
  // Drawn, a particle's square is placed by the owner, then its offset, then its own place.
  Render(250);
  const Vec3 p = particles->particles.back().position;
  const float* owner = flying->worldMatrix.m;
  const float* square = particles->nested->objects[0]->worldMatrix.m;
  for (int r = 0; r < 3; ++r)
    EXPECT_NEAR(square[12 + r], owner[r] * (p.x + 1) + owner[4 + r] * p.y + owner[8 + r] * p.z + owner[12 + r], 1e-3)
        << "row " << r;
}

}  // namespace
