// The action factory: names, phases, parameter text, image-sequence names and nested scenes.
#include "actions/ActionsFixture.h"

#include <cmath>
#include <typeinfo>

using namespace actions_test;

namespace {

class ActionFactoryTest : public ::testing::Test, protected ActionWorkspace {
 protected:
  void SetUp() override {
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
  }

  bool Load(const std::string& text, const std::string& name = "test.lws") {
    AddText(name, text);
    Mount();
    return scene->Load(&vfs, name.c_str());
  }

  void NewSceneFromText(const std::string& text) {
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
    ASSERT_TRUE(Load(text));
  }

  SceneParticlesAction* Particles(size_t object) { return ActionOf<SceneParticlesAction>(scene->objects.at(object).get()); }

  std::unique_ptr<Scene> scene;
};

TEST_F(ActionFactoryTest, NamesMatchExactlyAndPickClassAndPhase) {
  const struct {
    const char* word;
    uint8_t phase;
    const std::type_info& type;
  } words[] = {{"ACTCAM", 2, typeid(CameraAction)},     {"ACTBAMM", 2, typeid(BitmapAnimAction)},
               {"ACTMOD", 1, typeid(ModuleAction)},     {"ACTSFX", 1, typeid(SoundAction)},
               {"ACTFADE", 2, typeid(FadeAction)},      {"ACTPIP", 1, typeid(PipAction)},
               {"ACTSPS", 2, typeid(SceneParticlesAction)}, {"ACTMVOL", 1, typeid(MusicVolumeAction)}};
  for (const auto& w : words) {
    SceneObject* null = AddActionNull(*scene, std::string("AddNullObject ") + w.word + " x 1 2");
    ASSERT_TRUE(null->action) << w.word;
    const SceneAction& action = *null->action;
    EXPECT_EQ(typeid(action), w.type) << w.word;
    EXPECT_EQ(null->actionPhase, w.phase) << w.word;
  }

  for (const char* word : {"ACTMODX", "actmod", "ACTMO", "Null", "ACTFADE2"}) {
    SceneObject* plain = AddActionNull(*scene, std::string("AddNullObject ") + word + " 1 2 3");
    EXPECT_FALSE(plain->action) << word;
    EXPECT_EQ(plain->actionPhase, ACTION_NONE) << word;
  }
}

TEST_F(ActionFactoryTest, ParameterTextStartsOneBlankAfterTheName) {
  auto fade = [&](const std::string& line) { return ActionOf<FadeAction>(AddActionNull(*scene, line)); };
  FadeAction* normal = fade("AddNullObject ACTFADE 255 128 7");
  EXPECT_EQ(normal->red, 255);
  EXPECT_EQ(normal->green, 128);
  EXPECT_EQ(normal->blue, 7);
  // A line that ends at the name: the parameter text is the line's end, and nothing is read.
  FadeAction* bare = fade("AddNullObject ACTFADE");
  EXPECT_EQ(bare->red, 0);
  // Two blanks: the text starts on the name's last letter, where a number can't be read.
  FadeAction* early = fade("AddNullObject  ACTFADE 255 128 7");
  EXPECT_EQ(early->red, 0);
  EXPECT_EQ(early->blue, 0);

  AddActionNull(*scene, "AddNullObject ACTMVOL 5");
  AddActionNull(*scene, "AddNullObject  ACTMVOL 3");
  EXPECT_EQ(musicVolumeIndex, 5);

  // The image sequence skips the first character of its text: with none there it skips nothing.
  BitmapAnimAction* empty = ActionOf<BitmapAnimAction>(AddActionNull(*scene, "AddNullObject ACTBAMM"));
  EXPECT_EQ(empty->frameCount, 0);
  EXPECT_TRUE(empty->colourFrames.empty());
}

TEST_F(ActionFactoryTest, SceneFileNullsBecomeActionsInFileOrderAndFailuresStayAttached) {
  ASSERT_TRUE(Load(Lws({"AddNullObject ACTSFX missing.wav", "AddNullObject ACTFADE 1 2 3", "AddNullObject ACTMVOL 1",
                        "AddNullObject Plain", "AddNullObject ACTPIP NoSuchSurface 64", "AddCamera"})));
  scene->Precalc(&vfs);
  ASSERT_EQ(scene->objects.size(), 5u);
  const std::vector<SceneObject*> pre = {scene->objects[0].get(), scene->objects[2].get(), scene->objects[4].get()};
  EXPECT_EQ(scene->preSceneActions, pre);
  EXPECT_EQ(scene->postSceneActions, std::vector<SceneObject*>{scene->objects[1].get()});
  EXPECT_EQ(ActionOf<FadeAction>(scene->objects[1].get())->blue, 3);

  // Failed creations are attached and listed; rendering them does nothing, and touches nothing.
  SoundAction* sound = ActionOf<SoundAction>(scene->objects[0].get());
  PipAction* pip = ActionOf<PipAction>(scene->objects[4].get());
  ASSERT_TRUE(sound && pip);
  EXPECT_FALSE(sound->created);
  EXPECT_FALSE(pip->created);
  EXPECT_EQ(sound->sample, 0u);
  scene->objects[0]->channelValues[CHANNEL_SCALE_Y] = -1;
  sound->Render(scene->objects[0].get(), 0);
  pip->Render(scene->objects[4].get(), 0);
  EXPECT_EQ(sound->plays, 0u);
  EXPECT_EQ(pip->copies, 0u);
}

TEST_F(ActionFactoryTest, NewerFormatsPutAnItemIdBeforeTheName) {
  ASSERT_TRUE(Load(Lws({"AddNullObject 10000000 ACTFADE 10 20 30", "AddNullObject 10000001 Plain"}, "5")));
  ASSERT_EQ(scene->objects.size(), 2u);
  EXPECT_EQ(scene->objects[0]->itemName, "ACTFADE");
  FadeAction* fade = ActionOf<FadeAction>(scene->objects[0].get());
  ASSERT_TRUE(fade);
  EXPECT_EQ(fade->red, 10);
  EXPECT_EQ(fade->blue, 30);
  EXPECT_EQ(scene->objects[1]->itemName, "Plain");

  // The version 3 line is read as it stands: the first word is the name.
  NewSceneFromText(Lws({"AddNullObject 10000000 ACTFADE 10 20 30", "AddNullObject ACTFADE 1 2 3"}));
  EXPECT_EQ(scene->objects[0]->itemName, "10000000");
  EXPECT_FALSE(scene->objects[0]->action);
  EXPECT_EQ(ActionOf<FadeAction>(scene->objects[1].get())->green, 2);
}

TEST_F(ActionFactoryTest, ImageSequenceNamesItsFramesAndMakesTwoLayerSurfaces) {
  BitmapAnimAction* fire =
      ActionOf<BitmapAnimAction>(AddActionNull(*scene, "AddNullObject ACTBAMM fire###.tga mask###.png 3 2.5"));
  ASSERT_TRUE(fire && fire->created);
  EXPECT_FLOAT_EQ(fire->spriteScale, 2.5f);
  ASSERT_EQ(fire->colourFrames.size(), 3u);
  EXPECT_EQ(fire->colourFrames[0].name, "fire001.tga");
  EXPECT_EQ(fire->colourFrames[2].name, "fire003.tga");
  EXPECT_EQ(fire->alphaFrames[1].name, "mask002.png");
  const std::vector<std::string> references = {"fire001.tga", "fire002.tga", "fire003.tga",
                                                "mask001.png", "mask002.png", "mask003.png"};
  EXPECT_EQ(system.textureCache.references, references);
  ASSERT_EQ(scene->surfaces.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const Surface* surface = scene->surfaces[i].get();
    EXPECT_EQ(fire->colourFrames[i].surface, surface);
    EXPECT_EQ(fire->alphaFrames[i].surface, surface);
    ASSERT_EQ(surface->layerCount, 2u);
    EXPECT_EQ(surface->layers[0]->imageName, fire->colourFrames[i].name);
    EXPECT_EQ(surface->layers[0]->channel, LAYER_COLOR);
    EXPECT_EQ(surface->layers[1]->imageName, fire->alphaFrames[i].name);
    EXPECT_EQ(surface->layers[1]->channel, LAYER_TRANSPARENCY);
  }

  // The '#' and the two characters after it make room for the number, whatever they are; a
  // pattern without '#' is all prefix, and one that ends early ends the name there.
  auto firstName = [&](const std::string& pattern) {
    return ActionOf<BitmapAnimAction>(AddActionNull(*scene, "AddNullObject ACTBAMM " + pattern + " a 1 1"))
        ->colourFrames.at(0)
        .name;
  };
  EXPECT_EQ(firstName("fire#.tga"), "fire001ga");
  EXPECT_EQ(firstName("plain.tga"), "plain.tga001");
  EXPECT_EQ(firstName("end#"), "end001");
  EXPECT_TRUE(ActionOf<BitmapAnimAction>(AddActionNull(*scene, "AddNullObject ACTBAMM a# b# -4 1"))->colourFrames.empty());
}

TEST_F(ActionFactoryTest, NestedSceneLoadsIntoTheSameCacheAndLaysOutItsParticles) {
  AddFile("cube.lwo", CubeObject());
  // Its name holds a blank and a folder; it has no camera, which its particles don't need.
  AddText("cube scene.lws", CubeScene(60, {"AddNullObject ACTSFX missing.wav"}));
  ASSERT_TRUE(Load(Lws({"AddNullObject ACTSPS Scenes\\cube scene.lws 3 10 100 2 4 6 1 0 1", "AddCamera"})));
  SceneParticlesAction* particles = Particles(0);
  ASSERT_TRUE(particles && particles->created);
  ASSERT_TRUE(particles->nested);
  EXPECT_EQ(particles->nested->system, &system);
  EXPECT_EQ(system.textureCache.scenes, std::vector<Scene*>{particles->nested.get()});
  EXPECT_EQ(particles->startTime, 10u);
  EXPECT_EQ(particles->endTime, 100u);
  ASSERT_EQ(particles->particles.size(), 3u);
  EXPECT_TRUE(Heard(1, "No camera in this scene") && boxes.messages.empty());
  // The nested scene's own null got its action while it loaded.
  EXPECT_TRUE(ActionOf<SoundAction>(particles->nested->objects.at(1).get()));

  // Eight numbers of the program-wide random sequence per particle, which starts afresh with every
  // test: 41 18467 6334 26500 19169 15724 11478 29358.
  const SceneParticlesAction::Particle& p = particles->particles[0];
  EXPECT_NEAR(p.start.x, (41 / 255.0 - 0.5) * 2, 1e-6);
  EXPECT_NEAR(p.start.y, (18467 % 255 / 255.0 - 0.5) * 4, 1e-6);
  EXPECT_NEAR(p.start.z, (6334 % 255 / 255.0 - 0.5) * 6, 1e-6);
  EXPECT_NEAR(p.velocity.x, 19169 % 255 / 4000.0 - 0.031875, 1e-7);
  EXPECT_NEAR(p.velocity.y, 15724 % 255 / 4000.0, 1e-7);
  EXPECT_NEAR(p.velocity.z, 11478 % 255 / 4000.0 - 0.031875, 1e-7);
  EXPECT_EQ(p.phase, float(29358 % 60));
  EXPECT_EQ(p.position.x, 0.0f);

  std::vector<std::string> files;
  for (const NullAction::File& file : ActionFiles(*scene)) files.push_back(std::string(file.kind) + " " + file.name);
  EXPECT_EQ(files, (std::vector<std::string>{"scene cube scene.lws", "sample missing.wav"}));

  // Deleting the action takes the nested scene out of the cache's list.
  scene->Free();
  EXPECT_TRUE(system.textureCache.scenes.empty());
}

TEST_F(ActionFactoryTest, NestedScenesThatCannotPlayAreRefused) {
  AddFile("cube.lwo", CubeObject());
  AddText("still.lws", CubeScene(0));
  AddText("self.lws", Lws({"PreviewLastFrame 30", "AddNullObject ACTSPS self.lws 1 0 10 0 0 0 0 0 0", "AddCamera"}));
  // s0 nests s1, s1 nests s2, ... s9 is a cube scene: nine levels, one past the limit.
  for (int i = 0; i < 9; ++i)
    AddText("s" + std::to_string(i) + ".lws",
            Lws({"PreviewLastFrame 30", "AddNullObject ACTSPS s" + std::to_string(i + 1) + ".lws 1 0 10 0 0 0 0 0 0",
                 "AddCamera"}));
  AddText("s9.lws", CubeScene());
  ASSERT_TRUE(Load(Lws({"AddNullObject ACTSPS still.lws 5 0 10 1 1 1 1 1 1",
                        "AddNullObject ACTSPS nowhere.lws 5 0 10 1 1 1 1 1 1",
                        "AddNullObject ACTSPS self.lws 1 0 10 0 0 0 0 0 0",
                        "AddNullObject ACTSPS s0.lws 1 0 10 0 0 0 0 0 0", "AddCamera"},
                       "3")));
  // A scene that ends at frame 0 can't wrap its particles' time; a missing file loads nothing.
  EXPECT_FALSE(Particles(0)->created);
  EXPECT_FALSE(Particles(0)->nested);
  EXPECT_TRUE(Heard(1, "ends at frame 0"));
  EXPECT_FALSE(Particles(1)->created);
  EXPECT_TRUE(Heard(0, "Couldn't find LWS \"nowhere.lws\""));
  // self.lws loads once as a nested scene; its own copy of itself is refused.
  ASSERT_TRUE(Particles(2)->created);
  SceneParticlesAction* inner = ActionOf<SceneParticlesAction>(Particles(2)->nested->objects.at(0).get());
  ASSERT_TRUE(inner);
  EXPECT_FALSE(inner->created);
  EXPECT_TRUE(Heard(1, "\"self.lws\" would include itself"));
  // Eight levels load; the ninth is refused.
  SceneParticlesAction* level = Particles(3);
  for (int depth = 1; depth <= 8; ++depth) {
    ASSERT_TRUE(level->created) << depth;
    level = ActionOf<SceneParticlesAction>(level->nested->objects.at(0).get());
    ASSERT_TRUE(level) << depth;
  }
  EXPECT_FALSE(level->created);
  EXPECT_TRUE(Heard(1, "\"s8.lws\" would nest scenes deeper than 8 levels"));
  // Every refused nested scene left the texture cache again: the ones listed all play.
  for (Scene* registered : system.textureCache.scenes) EXPECT_GT(registered->lastFrame, 0.0f);
  EXPECT_EQ(system.textureCache.scenes.size(), 9u);  // self.lws once, s0 to s7
}

}  // namespace
