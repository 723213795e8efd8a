// The real scenes of the corpus, saved by LightWave 6 (LWSC 3) and later versions (LWSC 5, with
// an item id before each object path and many keywords this loader skips), all with LF line
// ends. Each loads with triangulation on, since their cube is made of quads. The expected items
// and keys come from a separate reading of the text: times are seconds × the files' 30 frames
// per second; values and key parameters are the files' own digits.
#include "LwsFixture.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

struct CorpusKey {
  float value, time;
  uint32_t shape;
  float tension, inTangent, outTangent;
};

struct CorpusScene {
  std::vector<const char*> files;  // scenes that differ only in what this loader skips
  float lastFrame;
  std::vector<CorpusKey> x, y, z;  // the cube's position channels
  float scale[3];                  // its one scale key on each axis
};

const std::vector<CorpusScene> SCENES = {
    {{"move_x.lws"}, 60,
     {{0, 0, SHAPE_TCB, 0, 0, 2.0682507681379909},
       {2.0691125392913818, 20, SHAPE_TCB, 0, -1.1874328851699829, -1.1874328851699829},
       {-2.3748657703399658, 40, SHAPE_TCB, 0, -4.4421274232050125, 0}},
     {{-0.040000002831220627, 0, SHAPE_TCB, 0, 0, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, 0}},
     {0.97975808382034302, 0.88587331771850586, 0.95491594076156616}},
    {{"move_x_oldformat_6.lws"}, 60,
     {{0, 0, SHAPE_TCB, 0, 0, 2.0682507681379905},
       {2.0691125392913814, 20, SHAPE_TCB, 0, -1.1874328851699831, -1.1874328851699831},
       {-2.3748657703399658, 40, SHAPE_TCB, 0, -4.4421274232050125, 0}},
     {{-0.040000002831220634, 0, SHAPE_TCB, 0, 0, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, 0}},
     {0.97975808382034302, 0.88587331771850575, 0.95491594076156605}},
    {{"move_x_post_linear.lws", "move_x_post_repeat.lws", "move_x_post_reset.lws"}, 120,
     {{0, 0, SHAPE_TCB, 0, 0, 2.1372954575696919},
       {2.1381859973436792, 20, SHAPE_TCB, 0, -0.8400939672421186, -0.79808926888001264},
       {-1.6381832361221313, 39, SHAPE_TCB, 0, -3.7747136573003282, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, 0}},
     {1, 1, 1}},
    {{"move_xz_bezier.lws"}, 120,
     {{0, 0, SHAPE_BEZIER2D, 0, 0.64163307824462457, 2.0144942798797212},
       {1.924918483918713, 20, SHAPE_BEZIER2D, -0.22222, -0.10330829213672213, -0.3486689726511637},
       {-0.52300345897674561, 60, SHAPE_BEZIER2D, -0.44444, 0, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, 0}},
     {{0, 0, SHAPE_BEZIER2D, 0, -0.88536338761568067, -2.6555634816222775},
       {-2.6561167240142822, 40, SHAPE_BEZIER2D, -0.46576443257676908, -0.018818992720682302, -0.062782856771785217},
       {-0.095800442759067794, 89, SHAPE_BEZIER2D, -0.54443900000000001, 0, 0}},
     {1, 1, 1}},
    {{"move_xz_hermite.lws"}, 120,
     {{0, 0, SHAPE_HERMITE, 0, 0, 2.0144942798797212},
       {1.924918483918713, 20, SHAPE_HERMITE, 0, -0.17433448632558185, -0.3486689726511637},
       {-0.52300345897674561, 60, SHAPE_HERMITE, 0, -2.4474120653818376, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, 0}},
     {{0, 0, SHAPE_HERMITE, 0, 0, -2.6555634816222775},
       {-2.6561167240142822, 40, SHAPE_HERMITE, 0, -0.043056378768120331, -0.062782856771785217},
       {-0.095800442759067794, 89, SHAPE_HERMITE, 0, 2.5416503021393155, 0}},
     {1, 1, 1}},
    {{"move_xz_linear.lws"}, 120,
     {{0, 0, SHAPE_TCB, 0, 0, 2.0144942798797212},
       {1.924918483918713, 20, SHAPE_LINEAR, 0, -0.17433448632558185, -0.3486689726511637},
       {-0.52300345897674561, 60, SHAPE_LINEAR, 0, -2.4474120653818376, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, 0}},
     {{0, 0, SHAPE_TCB, 0, 0, -2.6555634816222775},
       {-2.6561167240142822, 40, SHAPE_LINEAR, 0, -0.043056378768120331, -0.062782856771785217},
       {-0.095800442759067794, 89, SHAPE_LINEAR, 0, 2.5416503021393155, 0}},
     {1, 1, 1}},
};

// Every scene has the same light and camera, each channel one TCB key at frame 0.
const float LIGHT_VALUES[LIGHT_ENVELOPE_COUNT] = {-2, 2, -2, 0.78539814f, 0.61086522f, 0, 1, 1, 1};
const float CAMERA_VALUES[CAMERA_ENVELOPE_COUNT] = {-0.10000002384185791f, 0.94999998807907104f,
                                                    -6.384000301361084f, 0, 0, 0};

void ExpectKeys(const Envelope* envelope, const std::vector<CorpusKey>& expected, const std::string& where) {
  ASSERT_NE(envelope, nullptr) << where;
  ASSERT_EQ(envelope->keys.size(), expected.size()) << where;
  for (size_t i = 0; i < expected.size(); ++i) {
    const EnvelopeKey& key = envelope->keys[i];
    EXPECT_FLOAT_EQ(key.value, expected[i].value) << where << " key " << i;
    EXPECT_FLOAT_EQ(key.time, expected[i].time) << where << " key " << i;
    EXPECT_EQ(key.shape, expected[i].shape) << where << " key " << i;
    EXPECT_FLOAT_EQ(key.tension, expected[i].tension) << where << " key " << i;
    EXPECT_FLOAT_EQ(key.inTangent, expected[i].inTangent) << where << " key " << i;
    EXPECT_FLOAT_EQ(key.outTangent, expected[i].outTangent) << where << " key " << i;
  }
}

void ExpectOneKey(const Envelope* envelope, float value, const std::string& where) {
  ExpectKeys(envelope, {{value, 0, SHAPE_TCB, 0, 0, 0}}, where);
}

class LwsCorpus : public LwsFixture {
 protected:
  void SetUp() override {
    LwsFixture::SetUp();
    system.settings.triangulate = true;
  }

  std::string ScenePath(const std::string& name) const { return test::CorpusDir() + "/lightwave/scenes/" + name; }

  // The scene and its cube, copied into the test's folder; the scene's line ends as given.
  bool LoadCorpusScene(const std::string& name, bool crlf = false) {
    std::filesystem::copy_file(ScenePath("simple_cube.lwo"), dir / "simple_cube.lwo",
                               std::filesystem::copy_options::overwrite_existing);
    std::string text = test::ReadText(ScenePath(name));
    if (crlf) {
      std::string converted;
      for (char c : text) converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
      text = converted;
    }
    return Load(text, name);
  }

  // One scene against its expectations.
  void ExpectScene(const CorpusScene& expected, const std::string& name) {
    ASSERT_TRUE(LoadCorpusScene(name)) << name;
    EXPECT_EQ(scene->firstFrame, 0) << name;
    EXPECT_EQ(scene->lastFrame, expected.lastFrame) << name;
    EXPECT_EQ(scene->framesPerSecond, 30) << name;

    ASSERT_EQ(scene->objects.size(), 1u) << name;
    const SceneObject& cube = Object(0);
    EXPECT_EQ(cube.itemIndex, 0u) << name;
    EXPECT_EQ(cube.fileName, "simple_cube.lwo") << name;
    EXPECT_EQ(cube.layerNumber, 1) << name;
    EXPECT_EQ(cube.flags, OBJECT_CLAIMED) << name;  // its ShadowOptions 7 does nothing
    EXPECT_EQ(cube.parent, nullptr) << name;
    EXPECT_EQ(cube.triangles.size(), 12u) << name;
    ExpectKeys(cube.envelopes[0].get(), expected.x, name + " x");
    ExpectKeys(cube.envelopes[1].get(), expected.y, name + " y");
    ExpectKeys(cube.envelopes[2].get(), expected.z, name + " z");
    for (uint32_t c = 3; c < 6; ++c) ExpectOneKey(cube.envelopes[c].get(), 0, name + " rotation");
    for (uint32_t c = 6; c < 9; ++c) ExpectOneKey(cube.envelopes[c].get(), expected.scale[c - 6], name + " scale");
    EXPECT_EQ(cube.envelopes[CHANNEL_MORPH_AMOUNT], nullptr) << name;

    ASSERT_EQ(scene->lights.size(), 1u) << name;
    const Light& light = *scene->lights[0];
    EXPECT_EQ(light.name, "Light") << name;
    EXPECT_EQ(light.lightIndex, 0u) << name;
    EXPECT_EQ(light.kind, LIGHT_POINT) << name;  // LightType 0 keeps the kind it was made with
    EXPECT_EQ(light.color.z, 1) << name;
    EXPECT_EQ(light.intensity, 1) << name;
    EXPECT_EQ(light.parent, nullptr) << name;
    for (uint32_t c = 0; c < LIGHT_ENVELOPE_COUNT; ++c)
      ExpectOneKey(light.envelopes[c].get(), LIGHT_VALUES[c], name + " light");

    ASSERT_EQ(scene->cameras.size(), 1u) << name;
    const Camera& camera = *scene->cameras[0];
    EXPECT_EQ(camera.name, "Camera") << name;
    EXPECT_EQ(camera.cameraIndex, 0u) << name;
    EXPECT_EQ(camera.target, nullptr) << name;
    for (uint32_t c = 0; c < CAMERA_ENVELOPE_COUNT; ++c)
      ExpectOneKey(camera.envelopes[c].get(), CAMERA_VALUES[c], name + " camera");
    EXPECT_TRUE(scene->oscillators.empty()) << name;
  }
};

TEST_F(LwsCorpus, RealScenesGiveTheirItemsAndKeys) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusScene& expected : SCENES) {
    for (const char* name : expected.files) {
      NewScene();
      ExpectScene(expected, name);
    }
  }
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_EQ(LogText().find("[ 01 ] - LWSLDR"), std::string::npos);
}

TEST_F(LwsCorpus, CrLfCopiesLoadLikeTheOriginals) {
  SKIP_WITHOUT_CORPUS();
  for (const char* name : {"move_x_oldformat_6.lws", "move_xz_bezier.lws"}) {
    NewScene();
    ASSERT_TRUE(LoadCorpusScene(name));
    const std::string original = Describe(*scene);
    NewScene();
    ASSERT_TRUE(LoadCorpusScene(name, true));
    EXPECT_EQ(Describe(*scene), original) << name;
  }
}

}  // namespace
