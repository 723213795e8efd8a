// The real scenes of the corpus, saved by LightWave 6 (LWSC 3) and later versions (LWSC 5, with
// an item id before each object path and many keywords this loader skips), all with LF line
// ends, loaded as they are and as CR LF copies. Each loads with triangulation on, since their
// cube is made of quads. The expected items and keys come from a separate reading of the text:
// times are seconds × the files' 30 frames per second; values and key parameters are the files'
// own digits.
#include "support/SceneFixture.h"

#include <filesystem>

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

const CorpusKey ZERO = {0, 0, SHAPE_TCB, 0, 0, 0};
// The x and z keys of the three "move_xz" scenes: the same values, times and tangents.
std::vector<CorpusKey> MoveXz(uint32_t s0, uint32_t s, float tension1, float tension2, float in0, float in1,
                              float in2, float in3, float in4, float in5) {
  return {{0, 0, s0, 0, in0, 2.0144942798797212f},
          {1.924918483918713f, 20, s, tension1, in1, -0.3486689726511637f},
          {-0.52300345897674561f, 60, s, tension2, in2, 0},
          {0, 0, s0, 0, in3, -2.6555634816222775f},
          {-2.6561167240142822f, 40, s, tension1 ? -0.46576443257676908f : 0, in4, -0.062782856771785217f},
          {-0.095800442759067794f, 89, s, tension1 ? -0.54443900000000001f : 0, in5, 0}};
}
CorpusScene XzScene(const char* file, const std::vector<CorpusKey>& keys) {
  return {{file}, 120, {keys[0], keys[1], keys[2]}, {ZERO}, {keys[3], keys[4], keys[5]}, {1, 1, 1}};
}

const std::vector<CorpusScene> SCENES = {
    // The old format writes a few last digits differently; single precision doesn't see them.
    {{"move_x.lws", "move_x_oldformat_6.lws"}, 60,
     {{0, 0, SHAPE_TCB, 0, 0, 2.0682507681379909f},
      {2.0691125392913818f, 20, SHAPE_TCB, 0, -1.1874328851699829f, -1.1874328851699829f},
      {-2.3748657703399658f, 40, SHAPE_TCB, 0, -4.4421274232050125f, 0}},
     {{-0.040000002831220627f, 0, SHAPE_TCB, 0, 0, 0}}, {ZERO},
     {0.97975808382034302f, 0.88587331771850586f, 0.95491594076156616f}},
    {{"move_x_post_linear.lws", "move_x_post_repeat.lws", "move_x_post_reset.lws"}, 120,
     {{0, 0, SHAPE_TCB, 0, 0, 2.1372954575696919f},
      {2.1381859973436792f, 20, SHAPE_TCB, 0, -0.8400939672421186f, -0.79808926888001264f},
      {-1.6381832361221313f, 39, SHAPE_TCB, 0, -3.7747136573003282f, 0}},
     {ZERO}, {ZERO}, {1, 1, 1}},
    XzScene("move_xz_bezier.lws", MoveXz(SHAPE_BEZIER2D, SHAPE_BEZIER2D, -0.22222f, -0.44444f, 0.64163307824462457f,
                                         -0.10330829213672213f, 0, -0.88536338761568067f, -0.018818992720682302f, 0)),
    XzScene("move_xz_hermite.lws", MoveXz(SHAPE_HERMITE, SHAPE_HERMITE, 0, 0, 0, -0.17433448632558185f,
                                          -2.4474120653818376f, 0, -0.043056378768120331f, 2.5416503021393155f)),
    XzScene("move_xz_linear.lws", MoveXz(SHAPE_TCB, SHAPE_LINEAR, 0, 0, 0, -0.17433448632558185f,
                                         -2.4474120653818376f, 0, -0.043056378768120331f, 2.5416503021393155f)),
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
    const CorpusKey& e = expected[i];
    EXPECT_EQ(key.shape, e.shape) << where << " key " << i;
    const float got[] = {key.value, key.time, key.tension, key.inTangent, key.outTangent};
    const float want[] = {e.value, e.time, e.tension, e.inTangent, e.outTangent};
    for (int f = 0; f < 5; ++f) EXPECT_FLOAT_EQ(got[f], want[f]) << where << " key " << i << " field " << f;
  }
}

void ExpectOneKey(const Envelope* envelope, float value, const std::string& where) {
  ExpectKeys(envelope, {{value, 0, SHAPE_TCB, 0, 0, 0}}, where);
}

class LwsCorpus : public test::SceneFixture {
 protected:
  // The scene and its cube, copied into the test's folder; the scene's line ends as given.
  bool LoadCorpusScene(const std::string& name, bool crlf) {
    const std::string folder = test::CorpusDir() + "/lightwave/scenes/";
    std::filesystem::copy_file(folder + "simple_cube.lwo", dir / "simple_cube.lwo",
                               std::filesystem::copy_options::overwrite_existing);
    std::string text = test::ReadText(folder + name);
    for (size_t at = 0; crlf && (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, "\r");
    return LoadScene(text, name);
  }
};

TEST_F(LwsCorpus, RealScenesGiveTheirItemsAndKeys) {
  SKIP_WITHOUT_CORPUS();
  system.settings.triangulate = true;
  for (const CorpusScene& expected : SCENES)
    for (const char* file : expected.files)
      for (bool crlf : {false, true}) {
        const std::string name = std::string(file) + (crlf ? " as CR LF" : "");
        NewScene();
        ASSERT_TRUE(LoadCorpusScene(file, crlf)) << name;
        EXPECT_TRUE(scene->firstFrame == 0 && scene->framesPerSecond == 30) << name;
        EXPECT_EQ(scene->lastFrame, expected.lastFrame) << name;

        ASSERT_EQ(scene->objects.size(), 1u) << name;
        const SceneObject& cube = Object(0);
        EXPECT_TRUE(cube.itemIndex == 0u && cube.fileName == "simple_cube.lwo" && cube.layerNumber == 1) << name;
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
        EXPECT_TRUE(light.name == "Light" && light.lightIndex == 0u && light.parent == nullptr) << name;
        EXPECT_EQ(light.kind, LIGHT_POINT) << name;  // LightType 0 keeps the kind it was made with
        EXPECT_TRUE(light.color.z == 1 && light.intensity == 1) << name;
        for (uint32_t c = 0; c < LIGHT_ENVELOPE_COUNT; ++c)
          ExpectOneKey(light.envelopes[c].get(), LIGHT_VALUES[c], name + " light");

        ASSERT_EQ(scene->cameras.size(), 1u) << name;
        const Camera& camera = *scene->cameras[0];
        EXPECT_TRUE(camera.name == "Camera" && camera.cameraIndex == 0u && camera.target == nullptr) << name;
        for (uint32_t c = 0; c < CAMERA_ENVELOPE_COUNT; ++c)
          ExpectOneKey(camera.envelopes[c].get(), CAMERA_VALUES[c], name + " camera");
        EXPECT_TRUE(scene->oscillators.empty()) << name;
      }
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_EQ(log.Text().find("[ 01 ] - LWSLDR"), std::string::npos);
}

}  // namespace
