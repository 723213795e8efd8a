// The music, sample and volume actions heard through the sound layer mixed offline.
#include "actions/ActionsFixture.h"
#include "support/TinyAudio.h"

#include <cmath>

using namespace actions_test;

namespace {

constexpr uint32_t RATE = 44100;
constexpr uint32_t FRAME_SAMPLES = RATE / 30;  // one scene frame of sound

class SoundActions : public ::testing::Test, protected ActionWorkspace {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, RATE));
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
  }
  void TearDown() override {
    scene.reset();  // the actions free their sounds first
    sound::Free();
  }

  // Root mean square of the next samples frames mixed, both sides together.
  static float Loudness(uint32_t frames = FRAME_SAMPLES) {
    std::vector<float> out(size_t(frames) * 2);
    sound::Render(out.data(), frames);
    double sum = 0;
    for (float value : out) sum += double(value) * value;
    return float(std::sqrt(sum / double(out.size())));
  }

  std::unique_ptr<Scene> scene;
};

TEST_F(SoundActions, SampleFiresOncePerDipOfScaleYAndStopsWhenItRises) {
  AddFile("beep.wav", demogen::EncodeWav(std::vector<int16_t>(RATE, 16384), 1, RATE));  // 1 s at half scale
  Mount();
  SceneObject* null = AddActionNull(*scene, "AddNullObject ACTSFX beep.wav");
  SoundAction* action = ActionOf<SoundAction>(null);
  ASSERT_TRUE(action && action->created);
  Steps(null->envelopes[CHANNEL_SCALE_Y], {{0, 0}, {50, -1}, {60, 0}, {80, -1}});
  Steps(null->envelopes[CHANNEL_SCALE_X], {{0, 1}});  // volume 50
  Steps(null->envelopes[CHANNEL_POSITION_X], {{0, 0}});  // without it the channels aren't evaluated

  // Half scale at volume 50 from each dip to -1, once, and stopped when scale Y rises again.
  for (int t = 0; t <= 85; ++t) {
    UpdateObject(null, float(t));  // as the renderer runs a frame: channels, then the action
    action->Render(null, float(t));
    EXPECT_NEAR(Loudness(), (t >= 50 && t < 60) || t >= 80 ? 0.25f : 0.0f, 0.01f) << t;
  }
  EXPECT_EQ(action->plays, 2u);
}

TEST_F(SoundActions, MusicVolumeFollowsScaleXAndIsSentOnlyOnChangeAndMusicsKeepTheirNumbers) {
  AddFile("tune.mod", test::MakeTinyMod(5));
  AddFile("text.mod", {'n', 'o', 't', ' ', 'm', 'u', 's', 'i', 'c'});
  Mount();
  SceneObject* null = AddActionNull(*scene, "AddNullObject ACTMOD tune.mod 3 0 0");
  ModuleAction* music = ActionOf<ModuleAction>(null);
  ASSERT_TRUE(music && music->created && music->music.handle && music->startOrder == 3);

  // Windows of 0.2 s inside one order of the module (about 1 s each), after a short settle.
  auto loudnessAt = [&](float scale) {
    null->channelValues[CHANNEL_SCALE_X] = scale;
    music->Render(null, 0);
    Loudness(RATE / 100);
    return Loudness(RATE / 5);
  };
  const float at1 = loudnessAt(1.0f), at25 = loudnessAt(2.5f), atMinus1 = loudnessAt(-1.0f);
  ASSERT_GT(at25, 0.01f);
  EXPECT_NEAR(at1 / at25, 0.4f, 0.02f);       // 40 of 100
  EXPECT_NEAR(atMinus1 / at25, 0.4f, 0.02f);  // the absolute value
  music->Render(null, 1);
  EXPECT_TRUE(music->volumeSends == 3 && music->playing == 1);  // an unchanged value is not sent again

  // The volume null created last names the music; one without music changes nothing.
  SceneObject* volume0 = AddActionNull(*scene, "AddNullObject ACTMVOL 0");
  SceneObject* volume1 = AddActionNull(*scene, "AddNullObject ACTMVOL 1");
  auto silence = [&](SceneObject* volume) {
    volume->channelValues[CHANNEL_SCALE_X] = 0;
    volume->action->Render(volume, 0);
    return ActionOf<MusicVolumeAction>(volume)->volumeSends;
  };
  EXPECT_EQ(silence(volume0), 0u);
  EXPECT_NEAR(Loudness(RATE / 20) / at25, 0.4f, 0.02f);
  musicVolumeIndex = 0;
  EXPECT_EQ(silence(volume1), 1u);
  EXPECT_EQ(Loudness(RATE / 20), 0.0f);

  // Deleting a music takes it out of the table; the others keep their numbers.
  ModuleAction* second = ActionOf<ModuleAction>(AddActionNull(*scene, "AddNullObject ACTMOD tune.mod 0 0 0"));
  null->action.reset();
  EXPECT_EQ(musicTable, (std::vector<MusicPlayer*>{nullptr, &second->music}));
  scene->Free();
  EXPECT_TRUE(musicTable.empty());

  ModuleAction* missing = ActionOf<ModuleAction>(AddActionNull(*scene, "AddNullObject ACTMOD gone.mod 0 0 0"));
  ModuleAction* unreadable = ActionOf<ModuleAction>(AddActionNull(*scene, "AddNullObject ACTMOD text.mod 0 0 0"));
  // The layer refused the unreadable bytes: creation still succeeds, with no music to play.
  EXPECT_TRUE(!missing->created && unreadable->created && unreadable->music.handle == 0);
  // Both keep their numbers, so the second ACTMOD is music 1 whatever became of the first.
  EXPECT_EQ(musicTable, (std::vector<MusicPlayer*>{&missing->music, &unreadable->music}));
  // An empty file name finds no file (rather than whichever the folder lists first).
  EXPECT_FALSE(ActionOf<ModuleAction>(AddActionNull(*scene, "AddNullObject ACTMOD"))->created);
}

}  // namespace
