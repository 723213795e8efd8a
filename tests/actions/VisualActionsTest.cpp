// The visual actions drawn offscreen and probed by pixel.
#include "actions/ActionsFixture.h"
#include "render/RenderFixture.h"
#include "support/ImageWriter.h"
#include "support/SceneText.h"

using namespace actions_test;
using render_test::Constant;
using render_test::Image;
using render_test::Place;

namespace {

constexpr float PI = 3.14159265f;

// A square picture of one grey level (0-255 each channel) or one colour, its right half grey
// level `right` when that is given.
std::vector<uint8_t> FlatPng(uint32_t side, uint8_t r, uint8_t g, uint8_t b, int right = -1) {
  test::Picture picture;
  picture.width = picture.height = side;
  for (uint32_t i = 0; i < side * side; ++i) {
    const bool rightHalf = right >= 0 && i % side >= side / 2;
    const uint8_t grey = uint8_t(right);
    picture.rgb.insert(picture.rgb.end(), {rightHalf ? grey : r, rightHalf ? grey : g, rightHalf ? grey : b});
  }
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
    AddFile("alp00" + std::to_string(i + 1) + ".png", FlatPng(8, 255, 255, 255, i == 1 ? 0 : 255));
  }
  Mount();
  AddCamera();
  SceneObject* sprite = Null("AddNullObject ACTBAMM col###.png alp###.png 3 2", {0, 0, 5});
  Steps(sprite->envelopes[CHANNEL_SCALE_Z], {{0, 1}, {100, 0.5f}});
  LoadTextures();

  // One image a frame from 100; black the frame after the last, the sequence ends at 104, and
  // with scale Z still below 1 it starts again at 105. Probed in the sprite's left and right half.
  const std::vector<int> black = {0, 0, 0}, red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255};
  std::vector<std::vector<int>> left, right;
  for (float t = 99; t <= 105; ++t) {
    const Image image = Render(t);
    left.push_back(image.Rgb(WIDTH / 2 - 30, HEIGHT / 2));
    right.push_back(image.Rgb(WIDTH / 2 + 30, HEIGHT / 2));
  }
  EXPECT_EQ(left, (std::vector<std::vector<int>>{black, red, green, blue, black, black, red}));
  // The second image's alpha cuts its right half out.
  EXPECT_EQ(right, (std::vector<std::vector<int>>{black, red, black, blue, black, black, red}));
  // The sprite is a square of side 2 at distance 5, not the whole screen.
  EXPECT_TRUE(Render(106).Black(5, 5));
  // Time going back to 0 ends a running sequence at once.
  EXPECT_EQ(Render(0).Rgb(WIDTH / 2, HEIGHT / 2), black);
  EXPECT_EQ(ActionOf<BitmapAnimAction>(sprite)->running, 0u);
  // A frame passing unseen starts it as a drawn one does: the frame after shows the second image.
  scene->AdvanceFrame(200);
  EXPECT_EQ(Render(201).Rgb(WIDTH / 2 - 30, HEIGHT / 2), green);
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
  ASSERT_TRUE(ActionOf<PipAction>(pip)->created);
  LoadTextures();

  Image image = Render(0);
  EXPECT_EQ(ActionOf<PipAction>(pip)->copies, 1u);
  // The texture's level 0 is 64 square: a 128 picture is not copied, the texture stays usable.
  EXPECT_EQ(ActionOf<PipAction>(tooLarge)->copies, 0u);
  // The screen shows that picture the way that camera saw it, the main view is restored to the
  // whole window, and the little picture was cleared away.
  float left, right, top, bottom;
  Project({-0.5f, 0.75f, 5}, &left, &top);
  Project({0.5f, -0.5f, 5}, &right, &bottom);
  EXPECT_EQ(image.Rgb(left, bottom), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(image.Rgb(right, bottom), (std::vector<int>{0, 255, 0}));
  EXPECT_EQ(image.Rgb(WIDTH / 2.0f, top), (std::vector<int>{0, 0, 255}));
  EXPECT_TRUE(image.Black(5, HEIGHT - 45));
  EXPECT_TRUE(image.Black(WIDTH - 5, 5));

  // Fully transparent, the surface receives nothing.
  Constant(surface->envelopes[SURFACE_ENV_TRANSPARENCY], 1);
  Render(1);
  EXPECT_EQ(ActionOf<PipAction>(pip)->copies, 1u);
}

TEST_F(VisualActions, ParticlesDrawBetweenStartAndEndAndStopAtTheirLimits) {
  AddFile("cube.lwo", CubeObject(0.5f));
  std::vector<std::string> motion;  // the cube at x 1 in its scene
  for (int c = 0; c < 9; ++c) motion.push_back(test::LwsChannel(c, c == 0 || c >= 6 ? 1.0f : 0.0f));
  AddText("cube.lws", CubeScene(30, motion));
  Mount();
  AddCamera();
  SceneObject* still = Null("AddNullObject ACTSPS cube.lws 4 10 100 0 0 0 0 0 0", {0, 0, 10});
  SceneObject* flying = Null("AddNullObject ACTSPS cube.lws 4 200 300 0 0 0 0 1000 0");
  Place(flying, {0, 0, 10}, {PI / 2, 0, 0}, {2, 2, 2});
  ASSERT_TRUE(ActionOf<SceneParticlesAction>(still)->created);
  SceneParticlesAction* particles = ActionOf<SceneParticlesAction>(flying);
  ASSERT_TRUE(particles && particles->created);
  LoadTextures();

  EXPECT_EQ(render_test::FindBlob(Render(9)).count, 0u);
  const render_test::Blob first = render_test::FindBlob(Render(10));
  float x, y;
  Project({1, 0, 10}, &x, &y);  // at the null, no box and no limit to fly within; the cube at x 1
  EXPECT_GT(first.count, 0u);
  EXPECT_NEAR(first.x, x, 2.0f);
  EXPECT_NEAR(first.y, y, 2.0f);
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
  // Drawn, the last particle's cube has the owner's placement (turned, scaled), then the
  // particle's offset in the owner's frame, then the cube's own place.
  Render(250);
  const Vec3 p = particles->particles.back().position;
  const float* owner = flying->worldMatrix.m;
  const float* cube = particles->nested->objects[0]->worldMatrix.m;
  for (int r = 0; r < 3; ++r)
    EXPECT_NEAR(cube[12 + r], owner[r] * (p.x + 1) + owner[4 + r] * p.y + owner[8 + r] * p.z + owner[12 + r], 1e-3)
        << "row " << r;
}

}  // namespace
