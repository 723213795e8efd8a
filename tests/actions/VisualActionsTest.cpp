// The visual actions drawn offscreen and probed by pixel: fade, camera cut, image sequence,
// picture in picture and nested particle scenes.
#include "actions/ActionsFixture.h"
#include "render/RenderFixture.h"
#include "support/ImageWriter.h"

using namespace actions_test;
using render_test::Constant;
using render_test::Image;
using render_test::Place;

namespace {

constexpr float PI = 3.14159265f;

std::vector<uint8_t> FlatPng(uint32_t side, uint8_t r, uint8_t g, uint8_t b) {
  test::Picture picture;
  picture.width = picture.height = side;
  for (uint32_t i = 0; i < side * side; ++i) picture.rgb.insert(picture.rgb.end(), {r, g, b});
  return test::EncodeImage(test::ImageKind::PNG24, picture);
}

class VisualActions : public render_test::RenderFixture, protected ActionWorkspace {
 protected:
  using RenderFixture::system;  // the scene's; the workspace's own one stays unused

  void TearDown() override {
    system.textureCache.Free();
    RenderFixture::TearDown();
  }

  // An action null at position with unit scale, made from its scene line.
  SceneObject* Null(const std::string& line, Vec3 position = {}) {
    SceneObject* null = AddActionNull(*scene, line);
    Place(null, position);
    return null;
  }

  // Precalculates and loads the textures the scene and its actions named.
  void LoadTextures() {
    Precalculate();
    system.textureCache.AddScene(scene.get());
    system.textureCache.Load(&vfs);
  }

  SceneObject* Square(Vec3 position, Vec3 colour, float half, Vec3 rotation = {}) {
    SceneObject* object = AddObject(position, rotation);
    AddSquare(object, AddSurface(colour), {}, half);
    return object;
  }
};

TEST_F(VisualActions, FadeBlendsItsColourByPositionX) {
  AddCamera();
  SceneObject* fade = Null("AddNullObject ACTFADE 255 255 255");
  Constant(fade->envelopes[CHANNEL_POSITION_X], 0.5f);
  Image half = Render(0, {0, 0, 1});
  EXPECT_NEAR(half.R(10, 10), 128, 2);
  EXPECT_NEAR(half.G(WIDTH / 2, HEIGHT / 2), 128, 2);
  EXPECT_EQ(half.B(WIDTH - 1, HEIGHT - 1), 255);

  Constant(fade->envelopes[CHANNEL_POSITION_X], 0.0f);
  Image none = Render(0, {0, 0, 1});
  EXPECT_EQ(none.R(WIDTH / 2, HEIGHT / 2), 0);
  EXPECT_EQ(none.B(WIDTH / 2, HEIGHT / 2), 255);

  SceneObject* red = Null("AddNullObject ACTFADE 255 0 0");
  Constant(red->envelopes[CHANNEL_POSITION_X], 1.0f);
  scene->Precalc(nullptr);  // the new null joins the action list
  Image full = Render(0, {0, 0, 1});
  EXPECT_EQ(full.R(5, HEIGHT - 5), 255);
  EXPECT_EQ(full.B(5, HEIGHT - 5), 0);
}

TEST_F(VisualActions, CameraCutShowsFromTheNextFrame) {
  AddCamera();
  AddCamera({}, {PI, 0, 0});  // turned round
  Square({0, 0, 5}, {1, 0, 0}, 1);
  Square({0, 0, -5}, {0, 1, 0}, 1, {PI, 0, 0});
  SceneObject* cut = Null("AddNullObject ACTCAM");
  Steps(cut->envelopes[CHANNEL_SCALE_X], {{0, 0.9f}, {10, 2.7f}, {20, 3}});
  // 0.9 selects nothing; the cut to 2.7 (the second camera) comes after frame 10 is drawn; there
  // is no third camera, so 3 changes nothing.
  for (const auto& [t, red] : {std::pair{9, true}, {10, true}, {11, false}, {20, false}, {21, false}}) {
    Image image = Render(float(t));
    EXPECT_EQ(image.R(WIDTH / 2, HEIGHT / 2), red ? 255 : 0) << t;
    EXPECT_EQ(image.G(WIDTH / 2, HEIGHT / 2), red ? 0 : 255) << t;
  }
  // Frames passing unseen cut all the same.
  scene->activeCamera = scene->cameras[0].get();
  scene->AdvanceFrame(10);
  EXPECT_EQ(scene->activeCamera, scene->cameras[1].get());
}

TEST_F(VisualActions, ImageSequencePlaysOneImagePerFrameAndRestarts) {
  const uint8_t colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (int i = 0; i < 3; ++i) {
    AddFile("col00" + std::to_string(i + 1) + ".png", FlatPng(8, colours[i][0], colours[i][1], colours[i][2]));
    AddFile("alp00" + std::to_string(i + 1) + ".png", FlatPng(8, 255, 255, 255));
  }
  Mount();
  AddCamera();
  SceneObject* sprite = Null("AddNullObject ACTBAMM col###.png alp###.png 3 2", {0, 0, 5});
  Steps(sprite->envelopes[CHANNEL_SCALE_Z], {{0, 1}, {100, 0.5f}});
  LoadTextures();

  auto centre = [&](float t) {
    Image image = Render(t);
    return std::vector<int>{image.R(WIDTH / 2, HEIGHT / 2), image.G(WIDTH / 2, HEIGHT / 2),
                            image.B(WIDTH / 2, HEIGHT / 2)};
  };
  // One image a frame from 100; black the frame after the last, the sequence ends at 104, and
  // with scale Z still below 1 it starts again at 105.
  const std::vector<int> black = {0, 0, 0}, red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255};
  const std::vector<std::vector<int>> seen = {centre(99),  centre(100), centre(101), centre(102),
                                              centre(103), centre(104), centre(105)};
  EXPECT_EQ(seen, (std::vector<std::vector<int>>{black, red, green, blue, black, black, red}));
  // The sprite is a square of side 2 at distance 5, not the whole screen.
  EXPECT_TRUE(Render(106).Black(5, 5));
  // Time going back to 0 ends a running sequence at once.
  EXPECT_EQ(centre(0), black);
  EXPECT_EQ(ActionOf<BitmapAnimAction>(sprite)->running, 0u);
  // A frame passing unseen starts it as a drawn one does: the frame after shows the second image.
  scene->AdvanceFrame(200);
  EXPECT_EQ(centre(201), green);
}

TEST_F(VisualActions, PictureInPictureFillsTheSurfaceTextureWithTheOtherCamerasView) {
  AddFile("screen.png", FlatPng(64, 255, 255, 255));
  Mount();
  AddCamera();
  AddCamera({}, {PI, 0, 0});
  SceneObject* screen = AddObject({0, 0, 5});
  Surface* surface = AddSurface({1, 1, 1});
  surface->name = "Screen";
  surface->layers[0] = std::make_unique<TextureLayer>();
  surface->layers[0]->imageName = "screen.png";
  surface->layers[0]->projection = 5;  // not planar: the corners keep their coordinates (all 0)
  surface->layerCount = 1;
  system.AddTextureReference("screen.png");
  AddSquare(screen, surface, {}, 1);
  Square({0, 0, -5}, {1, 0, 0}, 20, {PI, 0, 0});  // fills the second camera's view
  SceneObject* pip = Null("AddNullObject ACTPIP Screen 64");
  SceneObject* tooLarge = Null("AddNullObject ACTPIP Screen 128");
  Constant(pip->envelopes[CHANNEL_SCALE_X], 2);
  Constant(tooLarge->envelopes[CHANNEL_SCALE_X], 7);  // past the last camera: the first one
  ASSERT_TRUE(ActionOf<PipAction>(pip)->created);
  LoadTextures();

  Image image = Render(0);
  EXPECT_EQ(ActionOf<PipAction>(pip)->copies, 1u);
  // The texture's level 0 is 64 square: a 128 picture is not copied, the texture stays usable.
  EXPECT_EQ(ActionOf<PipAction>(tooLarge)->copies, 0u);
  // The screen shows red, the main view is restored to the whole window, and the little
  // picture was cleared away.
  EXPECT_EQ(image.R(WIDTH / 2, HEIGHT / 2), 255);
  EXPECT_EQ(image.G(WIDTH / 2, HEIGHT / 2), 0);
  EXPECT_TRUE(image.Black(5, HEIGHT - 45));
  EXPECT_TRUE(image.Black(WIDTH - 5, 5));

  // Fully transparent, the surface receives nothing.
  Constant(surface->envelopes[SURFACE_ENV_TRANSPARENCY], 1);
  Render(1);
  EXPECT_EQ(ActionOf<PipAction>(pip)->copies, 1u);
}

TEST_F(VisualActions, ParticlesDrawBetweenStartAndEndAndStopAtTheirLimits) {
  AddFile("cube.lwo", CubeObject(0.5f));
  AddText("cube.lws", CubeScene(30));
  Mount();
  AddCamera();
  SceneObject* still = Null("AddNullObject ACTSPS cube.lws 4 10 100 0 0 0 0 0 0", {0, 0, 10});
  SceneObject* flying = Null("AddNullObject ACTSPS cube.lws 4 200 300 0 0 0 0 1000 0", {0, 0, 10});
  ASSERT_TRUE(ActionOf<SceneParticlesAction>(still)->created);
  SceneParticlesAction* particles = ActionOf<SceneParticlesAction>(flying);
  ASSERT_TRUE(particles && particles->created);
  LoadTextures();

  EXPECT_EQ(render_test::FindBlob(Render(9)).count, 0u);
  const render_test::Blob first = render_test::FindBlob(Render(10));
  EXPECT_GT(first.count, 0u);
  EXPECT_NEAR(first.x, WIDTH / 2.0f, 2.0f);  // at the null: no box, and no limit to fly within
  EXPECT_NEAR(first.y, HEIGHT / 2.0f, 2.0f);
  EXPECT_GT(render_test::FindBlob(Render(99.9f)).count, 0u);
  EXPECT_EQ(render_test::FindBlob(Render(100)).count, 0u);

  // A limit of 0 holds x and z at 0 for good; y flies with its velocity (up and out of view),
  // frames passing unseen included.
  scene->AdvanceFrame(250);
  for (const SceneParticlesAction::Particle& p : particles->particles) {
    EXPECT_EQ(p.position.x, 0.0f);
    EXPECT_EQ(p.position.z, 0.0f);
    EXPECT_NEAR(p.position.y, p.velocity.y * (50 * 2.0f / 300) * 7000, 1e-3);
    EXPECT_LT(p.nestedTime, 30.0f);
    EXPECT_EQ(p.nestedTime, std::fmod(50 + p.phase, 30.0f));
  }
}

}  // namespace
