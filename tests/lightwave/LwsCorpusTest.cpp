// The corpus's real scenes, as they are and as CR LF copies: the same items and keys whatever
// their format skips (their values at key times are checked through --channels in the Info tests).
#include "support/SceneFixture.h"

#include <filesystem>

namespace {

struct Loaded {
  std::vector<std::vector<EnvelopeKey>> keys;  // every channel of the cube, the light and the camera
  float lastFrame = 0;
};

class LwsCorpus : public test::SceneFixture {
 protected:
  Loaded LoadCorpusScene(const std::string& name, bool crlf) {
    const std::string folder = test::CorpusDir() + "/lightwave/scenes/";
    std::filesystem::copy_file(folder + "simple_cube.lwo", dir / "simple_cube.lwo",
                               std::filesystem::copy_options::overwrite_existing);
    std::string text = test::ReadText(folder + name);
    for (size_t at = 0; crlf && (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, "\r");
    NewScene();
    Loaded loaded;
    EXPECT_TRUE(LoadScene(text, name));
    if (scene->objects.size() != 1 || scene->lights.size() != 1 || scene->cameras.size() != 1) {
      ADD_FAILURE() << "items";
      return loaded;
    }
    const SceneObject& cube = Object(0);
    EXPECT_TRUE(cube.fileName == "simple_cube.lwo" && cube.flags == OBJECT_CLAIMED && cube.triangles.size() == 12u);
    EXPECT_TRUE(scene->lights[0]->name == "Light" && scene->lights[0]->kind == LIGHT_POINT);
    EXPECT_TRUE(scene->cameras[0]->name == "Camera" && scene->cameras[0]->target == nullptr);
    auto add = [&](const std::unique_ptr<Envelope>* slots, uint32_t count) {
      for (uint32_t c = 0; c < count; ++c) {
        EXPECT_TRUE(slots[c] && !slots[c]->keys.empty()) << c;
        if (!slots[c]) continue;
        for (size_t k = 1; k < slots[c]->keys.size(); ++k) EXPECT_LT(slots[c]->keys[k - 1].time, slots[c]->keys[k].time);
        loaded.keys.push_back(slots[c]->keys);
      }
    };
    add(cube.envelopes, 9);
    add(scene->lights[0]->envelopes, LIGHT_ENVELOPE_COUNT);
    add(scene->cameras[0]->envelopes, CAMERA_ENVELOPE_COUNT);
    loaded.lastFrame = scene->lastFrame;
    return loaded;
  }
};

void ExpectAlike(const Loaded& a, const Loaded& b, bool sameShapes, const std::string& what) {
  ASSERT_EQ(a.keys.size(), b.keys.size()) << what;
  EXPECT_EQ(a.lastFrame, b.lastFrame) << what;
  for (size_t c = 0; c < a.keys.size(); ++c) {
    ASSERT_EQ(a.keys[c].size(), b.keys[c].size()) << what << " channel " << c;
    for (size_t k = 0; k < a.keys[c].size(); ++k) {
      const EnvelopeKey &x = a.keys[c][k], &y = b.keys[c][k];
      EXPECT_TRUE(x.time == y.time && x.value == y.value && (!sameShapes || x.shape == y.shape))
          << what << " channel " << c << " key " << k;
    }
  }
}

TEST_F(LwsCorpus, RealScenesLoadAlikeWhateverTheirLineEndsAndFormat) {
  SKIP_WITHOUT_CORPUS();
  system.settings.triangulate = true;
  const std::vector<std::vector<const char*>> groups = {
      {"move_x.lws", "move_x_oldformat_6.lws"},
      {"move_x_post_linear.lws", "move_x_post_repeat.lws", "move_x_post_reset.lws"},
      {"move_xz_hermite.lws", "move_xz_linear.lws", "move_xz_bezier.lws"}};
  for (const auto& group : groups) {
    const Loaded first = LoadCorpusScene(group[0], false);
    EXPECT_EQ(first.lastFrame, group[0][6] == '.' ? 60 : 120) << group[0];
    for (const char* name : group) {
      const Loaded lf = LoadCorpusScene(name, false);
      ExpectAlike(first, lf, false, name);  // times and values; the xz scenes differ in their spans
      ExpectAlike(lf, LoadCorpusScene(name, true), true, std::string(name) + " as CR LF");
    }
  }
  EXPECT_EQ(Object(0).envelopes[0]->keys[1].shape, SHAPE_BEZIER2D);
  LoadCorpusScene("move_xz_hermite.lws", false);
  EXPECT_EQ(Object(0).envelopes[0]->keys[1].shape, SHAPE_HERMITE);
  LoadCorpusScene("move_xz_linear.lws", false);
  EXPECT_EQ(Object(0).envelopes[0]->keys[1].shape, SHAPE_LINEAR);
  EXPECT_FLOAT_EQ(Object(0).envelopes[2]->keys[1].value, -2.6561167f);
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_EQ(log.Text().find("[ 01 ] - LWSLDR"), std::string::npos);
}

}  // namespace
