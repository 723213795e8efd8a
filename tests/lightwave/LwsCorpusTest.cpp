// The corpus's real scenes: each format version and span type of one motion gives the same items,
// key times and values (their values between keys are checked through --channels in the Info tests).
#include "support/SceneFixture.h"

#include <filesystem>

namespace {

using LwsCorpus = test::SceneFixture;

TEST_F(LwsCorpus, RealScenesLoadAlikeWhateverTheirFormat) {
  SKIP_WITHOUT_CORPUS();
  system.settings.triangulate = true;  // the cube is of quads
  const std::string folder = test::CorpusDir() + "/lightwave/scenes/";
  std::filesystem::copy_file(folder + "simple_cube.lwo", dir / "simple_cube.lwo");
  // The last frame, then every key of the cube, the light and the camera, channel by channel.
  auto load = [&](const char* name) {
    NewScene();
    EXPECT_TRUE(LoadScene(test::ReadText(folder + name), name)) << name;
    std::vector<std::vector<float>> keys = {{scene->lastFrame}};
    if (scene->objects.size() != 1 || scene->lights.size() != 1 || scene->cameras.size() != 1) {
      ADD_FAILURE() << name << ": items";
      return keys;
    }
    const SceneObject& cube = Object(0);
    EXPECT_TRUE(cube.fileName == "simple_cube.lwo" && cube.flags == OBJECT_CLAIMED && cube.triangles.size() == 12u);
    EXPECT_TRUE(scene->lights[0]->name == "Light" && scene->lights[0]->kind == LIGHT_POINT);
    EXPECT_TRUE(scene->cameras[0]->name == "Camera" && scene->cameras[0]->target == nullptr);
    for (const auto& [slots, count] : {std::pair{cube.envelopes, 9u}, {scene->lights[0]->envelopes, LIGHT_ENVELOPE_COUNT},
                                       {scene->cameras[0]->envelopes, CAMERA_ENVELOPE_COUNT}})
      for (uint32_t c = 0; c < count; ++c) {
        EXPECT_TRUE(slots[c] && !slots[c]->keys.empty()) << name << " channel " << c;
        std::vector<float>& channel = keys.emplace_back();
        for (size_t k = 0; slots[c] && k < slots[c]->keys.size(); ++k) {
          EXPECT_TRUE(k == 0 || slots[c]->keys[k - 1].time < slots[c]->keys[k].time) << name;
          channel.insert(channel.end(), {slots[c]->keys[k].time, slots[c]->keys[k].value});
        }
      }
    return keys;
  };
  const std::vector<std::vector<const char*>> groups = {
      {"move_x.lws", "move_x_oldformat_6.lws"},
      {"move_x_post_linear.lws", "move_x_post_repeat.lws", "move_x_post_reset.lws"},
      {"move_xz_hermite.lws", "move_xz_linear.lws", "move_xz_bezier.lws"}};
  for (const auto& group : groups) {
    const auto first = load(group[0]);
    EXPECT_EQ(first[0][0], group[0][6] == '.' ? 60 : 120) << group[0];
    for (const char* name : group) EXPECT_EQ(load(name), first) << name;
  }
  // The xz scenes differ in their spans only.
  const std::pair<const char*, uint32_t> spans[] = {
      {"move_xz_bezier.lws", SHAPE_BEZIER2D}, {"move_xz_hermite.lws", SHAPE_HERMITE}, {"move_xz_linear.lws", SHAPE_LINEAR}};
  for (const auto& [name, shape] : spans) {
    load(name);
    EXPECT_EQ(Object(0).envelopes[0]->keys[1].shape, shape) << name;
  }
  EXPECT_FLOAT_EQ(Object(0).envelopes[2]->keys[1].value, -2.6561167f);
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_EQ(log.Text().find("[ 01 ] - LWSLDR"), std::string::npos);
}

}  // namespace
