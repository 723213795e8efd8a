// The action factory: names, phases, parameter text, image-sequence names and nested scenes.
#include "actions/ActionsFixture.h"

#include <tuple>
#include <typeinfo>

using namespace actions_test;

namespace {

class ActionFactoryTest : public ::testing::Test, protected ActionWorkspace {
 protected:
  void SetUp() override { NewScene(); }

  void NewScene() {
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
  }

  bool Load(const std::string& text, const std::string& name = "test.lws") {
    AddText(name, text);
    Mount();
    return scene->Load(&vfs, name.c_str());
  }

  template <typename T>
  T* Made(const std::string& rest) {
    return ActionOf<T>(AddActionNull(*scene, "AddNullObject " + rest));
  }

  SceneParticlesAction* Particles(size_t object) { return ActionOf<SceneParticlesAction>(scene->objects.at(object).get()); }

  std::unique_ptr<Scene> scene;
};

TEST_F(ActionFactoryTest, NamesMatchExactlyAndPickClassAndPhaseParametersStartOneBlankAfterSequencesNameFrames) {
  BitmapAnimAction* fire = Made<BitmapAnimAction>("ACTBAMM fire###.tga mask###.png 3 2.5");
  // Frame names, texture references, surfaces and layers also show in the drawn sequence.
  ASSERT_TRUE(fire && fire->created && fire->spriteScale == 2.5f && scene->surfaces.size() == 3);
  // The '#' and the two characters after it make room for the number, whatever they are.
  for (const auto& [pattern, first] :
       {std::pair{"fire#.tga", "fire001ga"}, {"plain.tga", "plain.tga001"}, {"end#", "end001"}})
    EXPECT_EQ(Made<BitmapAnimAction>(std::string("ACTBAMM ") + pattern + " a 1 1")->colourFrames.at(0).name, first);

  const struct {
    const char* word;
    uint8_t phase;
    const std::type_info& type;
  } words[] = {{"ACTCAM", 2, typeid(CameraAction)},     {"ACTBAMM", 2, typeid(BitmapAnimAction)},
               {"ACTMOD", 1, typeid(ModuleAction)},     {"ACTSFX", 1, typeid(SoundAction)},
               {"ACTFADE", 2, typeid(FadeAction)},      {"ACTPIP", 1, typeid(PipAction)},
               {"ACTSPS", 2, typeid(SceneParticlesAction)}, {"ACTMVOL", 1, typeid(MusicVolumeAction)}};
  for (const auto& w : words) {
    const SceneObject* null = AddActionNull(*scene, std::string("AddNullObject ") + w.word + " x 1 2");
    const SceneAction* action = null->action.get();
    EXPECT_TRUE(action && typeid(*action) == w.type && null->actionPhase == w.phase) << w.word;
  }
  for (const char* word : {"ACTMODX", "actmod", "ACTMO", "Null", "ACTFADE2"}) {
    const SceneObject* plain = AddActionNull(*scene, std::string("AddNullObject ") + word + " 1 2 3");
    EXPECT_TRUE(!plain->action && plain->actionPhase == ACTION_NONE) << word;
  }
  // Two blanks put the text's start on the name's last letter, where no number can be read.
  for (const auto& [rest, rgb] : {std::pair{"ACTFADE 255 128 7", std::tuple{255, 128, 7}},
                                  {" ACTFADE 255 128 7", {0, 0, 0}}, {"ACTFADE", {0, 0, 0}}}) {
    const FadeAction* fade = Made<FadeAction>(rest);
    EXPECT_EQ(std::tuple(fade->red, fade->green, fade->blue), rgb) << rest;
  }
  // The image sequence skips the first character of its text: with none there it skips nothing. No frames below 0.
  const BitmapAnimAction* empty = Made<BitmapAnimAction>("ACTBAMM");
  EXPECT_TRUE(empty->frameCount == 0 && empty->colourFrames.empty() &&
              Made<BitmapAnimAction>("ACTBAMM a# b# -4 1")->colourFrames.empty());
}

TEST_F(ActionFactoryTest, SceneFileNullsBecomeActionsInFileOrderAndFailuresStayAttached) {
  ASSERT_TRUE(Load(Lws({"AddNullObject ACTSFX missing.wav", "AddNullObject ACTFADE 1 2 3", "AddNullObject ACTMVOL 1",
                        "AddNullObject Plain", "AddNullObject ACTPIP NoSuchSurface 64", "AddCamera"})));
  scene->Precalc(&vfs);
  ASSERT_EQ(scene->objects.size(), 5u);
  const auto object = [&](size_t i) { return scene->objects[i].get(); };
  EXPECT_EQ(scene->preSceneActions, (std::vector<SceneObject*>{object(0), object(2), object(4)}));
  EXPECT_TRUE(scene->postSceneActions == std::vector<SceneObject*>{object(1)} && ActionOf<FadeAction>(object(1))->blue == 3);

  // Failed creations are attached and listed; rendering them does nothing, and touches nothing.
  SoundAction* sound = ActionOf<SoundAction>(object(0));
  PipAction* pip = ActionOf<PipAction>(object(4));
  ASSERT_TRUE(sound && pip && !sound->created && !pip->created && !sound->sample);
  scene->objects[0]->channelValues[CHANNEL_SCALE_Y] = -1;
  sound->Render(object(0), 0);
  pip->Render(object(4), 0);
  EXPECT_EQ(sound->plays + pip->copies, 0u);

  // From format version 4 on an item id comes before the name.
  for (const auto& [version, name] : {std::pair{"5", "ACTFADE"}, {"3", "10000000"}}) {
    NewScene();
    ASSERT_TRUE(Load(Lws({"AddNullObject 10000000 ACTFADE 10 20 30"}, version)));
    EXPECT_EQ(scene->objects.at(0)->itemName, name);
    const FadeAction* fade = ActionOf<FadeAction>(scene->objects[0].get());
    EXPECT_TRUE(version[0] == '5' ? fade && fade->red == 10 && fade->blue == 30 : !fade) << version;
  }
}

TEST_F(ActionFactoryTest, NestedSceneLoadsIntoTheSameCacheAndLaysOutItsParticles) {
  // Its name holds a blank and a folder; it has no camera, which its particles don't need.
  AddSquareScene("square scene.lws", 60, {"AddNullObject ACTSFX missing.wav"});
  ASSERT_TRUE(Load(Lws({"AddNullObject ACTSPS Scenes\\square scene.lws 3 10 100 2 4 6 1 0 1", "AddCamera"})));
  SceneParticlesAction* particles = Particles(0);
  ASSERT_TRUE(particles && particles->created && particles->nested && particles->particles.size() == 3);
  EXPECT_EQ(system.textureCache.scenes, std::vector<Scene*>{particles->nested.get()});
  EXPECT_TRUE(particles->nested->system == &system && Heard(1, "No camera in this scene") && boxes.messages.empty());
  // The nested scene's own null got its action while it loaded.
  EXPECT_TRUE(ActionOf<SoundAction>(particles->nested->objects.at(1).get()));

  // Eight numbers a particle of the random sequence, afresh every test: 41 18467 6334 26500 ...
  const SceneParticlesAction::Particle& p = particles->particles[0];
  const float values[] = {p.start.x, p.start.y, p.start.z, p.velocity.x, p.velocity.y, p.velocity.z, p.phase, p.position.x};
  const float expected[] = {-0.678431f, -0.321569f, 2.035294f, -0.020875f, 0.04225f, -0.031125f, 18, 0};
  for (size_t i = 0; i < std::size(values); ++i) EXPECT_NEAR(values[i], expected[i], 1e-6) << i;

  std::vector<std::string> files;
  for (const NullAction::File& file : ActionFiles(*scene)) files.push_back(std::string(file.kind) + " " + file.name);
  EXPECT_EQ(files, (std::vector<std::string>{"scene square scene.lws", "sample missing.wav"}));

  // Deleting the action takes the nested scene out of the cache's list.
  scene->Free();
  EXPECT_TRUE(system.textureCache.scenes.empty());
}

TEST_F(ActionFactoryTest, NestedScenesThatCannotPlayAreRefused) {
  AddSquareScene("still.lws", 0);
  // self.lws nests itself; s0 nests s1, s1 nests s2, ... s9 is the square: one level past the limit.
  const auto null = [](const std::string& inner) { return "AddNullObject ACTSPS " + inner + " 1 0 10 0 0 0 0 0 0"; };
  const auto nesting = [&](const std::string& inner) { return Lws({"PreviewLastFrame 30", null(inner), "AddCamera"}); };
  AddText("self.lws", nesting("self.lws"));
  for (int i = 0; i < 9; ++i) AddText("s" + std::to_string(i) + ".lws", nesting("s" + std::to_string(i + 1) + ".lws"));
  AddSquareScene("s9.lws");
  ASSERT_TRUE(Load(Lws({null("still.lws"), null("nowhere.lws"), null("self.lws"), null("s0.lws"), "AddCamera"})));
  // A scene that ends at frame 0 can't wrap its particles' time; a missing file loads nothing.
  EXPECT_TRUE(!Particles(0)->created && !Particles(0)->nested && Heard(1, "ends at frame 0"));
  EXPECT_TRUE(!Particles(1)->created && Heard(0, "Couldn't find LWS \"nowhere.lws\""));
  // self.lws loads once as a nested scene; its own copy of itself is refused.
  ASSERT_TRUE(Particles(2)->created);
  const SceneParticlesAction* inner = ActionOf<SceneParticlesAction>(Particles(2)->nested->objects.at(0).get());
  EXPECT_TRUE(inner && !inner->created && Heard(1, "\"self.lws\" would include itself"));
  // Eight levels load; the ninth is refused.
  SceneParticlesAction* level = Particles(3);
  for (int depth = 1; depth <= 8; ++depth) {
    ASSERT_TRUE(level && level->created) << depth;
    level = ActionOf<SceneParticlesAction>(level->nested->objects.at(0).get());
  }
  EXPECT_TRUE(level && !level->created && Heard(1, "\"s8.lws\" would nest scenes deeper than 8 levels"));
  // Every refused nested scene left the texture cache again: the ones listed all play.
  for (Scene* registered : system.textureCache.scenes) EXPECT_GT(registered->lastFrame, 0.0f);
  EXPECT_EQ(system.textureCache.scenes.size(), 9u);  // self.lws once, s0 to s7
}

}  // namespace
