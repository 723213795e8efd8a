// The scene-file parser: the file check, line ends, keywords, envelope blocks, bad lines and real scenes.
#include "support/SceneFixture.h"

#include <sstream>

namespace {

using test::Lws;

// A scene's frames, items and keys (value, time), "|" before each slot: loads that should agree give the same text.
std::string Describe(const Scene& s) {
  std::ostringstream out;
  out << "frames " << s.lastFrame << ' ' << s.framesPerSecond;
  const auto item = [&out](const char* kind, const std::string& name, uint32_t detail, const auto& slots) {
    out << '\n' << kind << ' ' << name << ' ' << detail;
    for (const auto& slot : slots) {
      out << " |";
      for (size_t k = 0; slot && k < slot->keys.size(); ++k)
        out << ' ' << slot->keys[k].value << ' ' << slot->keys[k].time;
    }
  };
  for (const auto& o : s.objects) item("object", o->fileName, o->flags, o->envelopes);
  for (const auto& l : s.lights) item("light", l->name, l->kind, l->envelopes);
  for (const auto& c : s.cameras) item("camera", c->name, c->target != nullptr, c->envelopes);
  return out.str();
}

using LwsParse = test::SceneFixture;

TEST_F(LwsParse, RefusesWhatIsNoSceneFileAndAcceptsAnyVersion) {
  EXPECT_FALSE(LoadScene("LWSX\r\n3\r\nAddLight\r\n"));
  EXPECT_TRUE(Logged(0, "LWSLDR(Load) - File \"test.lws\" is not a valid LWS file"));
  EXPECT_FALSE(LoadScene("LWS"));
  EXPECT_TRUE(scene->lights.empty());

  Vfs none;
  Scene detached;
  EXPECT_FALSE(detached.Load(&none, "gone.lws"));
  EXPECT_TRUE(Logged(0, "LWSLDR(Load) - Internal NULL pointer exception in \"gone.lws\""));
  EXPECT_FALSE(scene->Load(&vfs, "demo/"));  // names no file, though the Vfs has one
  EXPECT_TRUE(Logged(0, "LWSLDR(Load) - Couldn't find LWS \"\" in path/datafile"));
  EXPECT_EQ(boxes.messages.size(), 4u);

  NewScene();  // the version is not examined, whatever its line end; a path finds the bare name
  test::WriteText(dir / "test.lws", "LWSC\r\nX\nAddLight\r\nAddLight\n");
  Mount();
  EXPECT_TRUE(scene->Load(&vfs, "C:\\demo/test.lws"));
  EXPECT_EQ(scene->lights.size(), 2u);
  EXPECT_TRUE(Logged(3, "LWSLDR(Load) - Now loading \"test.lws\"..."));
}

// CR LF, LF, CR and mixed line ends, trailing blanks, a last line with or without an end.
TEST_F(LwsParse, LineEndsMakeNoDifference) {
  AddFile("ship.lwo", test::TriangleObject());
  const std::vector<std::string> lines = {
      "FramesPerSecond 25", "", "LoadObjectLayer 1 ship.lwo", "Channel 0", "{ Envelope", "", "  2",
      "  Key 1 0 0 0 0 0 0 0 0", "  Key 2 1 3 0 0 0 0 0 0", "  Behaviors 1 1", "}", "AddLight", "LightName Sun",
      "PreviewLastFrame 90"};
  // The header's lines end in LF for every variant, so CR LF bodies are mixed files.
  auto join = [&](const std::string& headerEnd, const std::string& end, bool lastEnd) {
    std::string text = "LWSC" + headerEnd + "3" + headerEnd;
    for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() || lastEnd ? end : "");
    return text;
  };
  ASSERT_TRUE(LoadScene(join("\r\n", "\r\n", true)));
  const std::string expected = Describe(*scene);
  ASSERT_TRUE(scene->lastFrame == 90 && Object(0).envelopes[0] && Object(0).envelopes[0]->keys.size() == 2);

  for (const char* end : {"\n", "\r\n", " \t\r\n", "\r"})
    for (bool lastEnd : {true, false}) {
      NewScene();
      ASSERT_TRUE(LoadScene(join("\n", end, lastEnd)));
      EXPECT_EQ(Describe(*scene), expected) << (lastEnd ? "ended " : "open ") << int(end[0]);
    }
}

TEST_F(LwsParse, SceneValuesAndSkippedLines) {
  ASSERT_TRUE(LoadScene(Lws({"PreviewFirstFrame 5", "PreviewLastFrame 0x20", "FramesPerSecond 25",
                             "AmbientColor 0.5 0.25 1", "AmbientIntensity 0.75", "addlight", "AddLights",
                             "3 AddLight", "   ", "\tAddLight", "{ Plugin", "{", "Key 1 0 0 0 0 0 0 0 0",
                             "CurrentFrame 12"})));
  EXPECT_TRUE(scene->firstFrame == 5 && scene->lastFrame == 32 && scene->framesPerSecond == 25);
  EXPECT_TRUE(scene->ambientColor.y == 0.25f && scene->ambientIntensity == 0.75f);
  EXPECT_EQ(scene->lights.size(), 1u);  // only the indented one
  EXPECT_TRUE(Logged(2, "LWSLDR(PC_FramesPerSecond) - LWS player speed(25) is not the same as the demo engine "
                        "uses(30)"));
  EXPECT_TRUE(boxes.messages.empty());

  // Lines without their numbers leave the values as they were.
  ASSERT_TRUE(LoadScene(Lws({"PreviewLastFrame end", "FramesPerSecond", "AmbientColor 1 1", "AmbientIntensity x"})));
  EXPECT_TRUE(scene->lastFrame == 32 && scene->framesPerSecond == 25);
  EXPECT_TRUE(scene->ambientColor.x == 0.5f && scene->ambientIntensity == 0.75f);
}

TEST_F(LwsParse, KeyLinesFillEnvelopesInFrames) {
  AddFile("a.lwo", test::TriangleObject());
  ASSERT_TRUE(LoadScene(Lws({"FramesPerSecond 25", "LoadObjectLayer 1 a.lwo", "Channel 4", "{ Envelope", "7",
                             "Key 1.5 2 0 0.5 0.25 -0.5 3 4 9", "Key 0 2.5 1 0 0 0 0 0", "Key 0 3 2", "Key 0 4 3",
                             "Key 0 5 4", "Key 0 6 5 -0.5 1 0.25 2", "Key 0 7 261", "Behaviors 2 5", "}",
                             "MorphAmount", "{ Envelope", "1", "Key 0.5 0.04 6 0 0 0 0 0 0"})));
  const Envelope* e = Object(0).envelopes[4].get();
  ASSERT_TRUE(e && e->keys.size() == 7);
  const EnvelopeKey& tcb = e->keys[0];
  EXPECT_TRUE(tcb.value == 1.5f && tcb.time == 50 && tcb.tension == 0.5f && tcb.continuity == 0.25f);
  EXPECT_TRUE(tcb.bias == -0.5f && tcb.inTangent == 3 && tcb.outTangent == 4);
  const uint32_t shapes[] = {SHAPE_TCB,     SHAPE_HERMITE,   SHAPE_BEZIER,  SHAPE_LINEAR,
                             SHAPE_STEPPED, SHAPE_BEZIER2D, SHAPE_BEZIER2D};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(e->keys[i].shape, shapes[i]) << i;
  EXPECT_EQ(e->keys[2].tension, 0);  // a short line leaves the rest 0
  // A 2D Bezier key's handles (seconds, value) are LightWave's reading only; so are behaviours.
  ASSERT_TRUE(e->lightwaveKeys.size() == 7 && e->keys[5].inHandleTime == 0);
  const EnvelopeKey& bezier = e->lightwaveKeys[5];
  EXPECT_TRUE(bezier.inHandleTime == -12.5f && bezier.inHandleValue == 1 && bezier.outHandleTime == 6.25f &&
              bezier.outHandleValue == 2);
  EXPECT_TRUE(e->pre == BEHAVIOR_REPEAT && e->post == BEHAVIOR_LINEAR);
  // A span type past the table leaves the shape unset; the morph amount is slot 9.
  const Envelope* morph = Object(0).envelopes[CHANNEL_MORPH_AMOUNT].get();
  ASSERT_TRUE(morph && morph->keys.size() == 1);
  EXPECT_TRUE(morph->keys[0].shape == 0 && std::fabs(morph->keys[0].time - 1) < 1e-5f);
  EXPECT_TRUE(morph->lightwaveKeys.empty() && morph->pre == BEHAVIOR_CONSTANT && morph->post == BEHAVIOR_CONSTANT);

  NewScene();  // a scene that states no rate keys in the engine's frames rather than all at 0
  ASSERT_TRUE(LoadScene(Lws({"AddLight", "Channel 0", "{ Envelope", "1", "Key 1 2 0"})));
  EXPECT_EQ(scene->lights[0]->envelopes[0]->keys[0].time, 60);
}

TEST_F(LwsParse, EnvelopeBlocksTakeOnlyWhatTheirItemAndCountAllow) {
  AddFile("a.lwo", test::TriangleObject());
  ASSERT_TRUE(LoadScene(Lws({
      "Key 1 1 0 0 0 0 0 0 0",  // no envelope yet
      "Channel 0", "{ Envelope", "1", "Key 1 0 0 0 0 0 0 0 0",  // no item yet
      "LoadObjectLayer 1 a.lwo",
      "Channel 0", "{ Envelope", "2", "Key 3 2 0", "Key 1 1 0", "Key 9 3 0",  // one key too many
      "Channel 1", "{ Envelope", "4", "Key 5 1 0", "Key 6 0 0", "Key 7 1 0", "Key 8 -1 0",  // out of order
      "Channel 2", "{ Envelope", "3", "Key 1", "Key nan 1 0", "Key 1 3e38 0",  // no usable time
      "Channel 10", "{ Envelope", "1", "Key 4 0 0",  // past the object's slots
      "AddCamera", "Channel 6", "{ Envelope", "1", "Key 4 0 0", "Channel 5", "{ Envelope", "1", "Key 0.5 0 0", "}",
      "ZoomFactor (envelope)", "{ Envelope", "1", "Key 3.2 0 0", "}",  // the zoom's own envelope
      "FocalDistance (envelope)", "{ Envelope", "1", "Key 3.3 0 0", "}",  // not kept
      "AddLight", "Channel 9", "{ Envelope", "1", "Key 4 0 0", "Channel 8", "{ Envelope", "x", "Key 4 0 0",
      "Channel 0", "{ Envelope", "1", "Key 3 0 0", "Channel 0", "{ Envelope", "1", "Key 4 0 0",  // replaced
      "LightIntensity (envelope)", "{ Envelope", "1", "Key 5 0 0", "}", "LightConeAngle (envelope)", "{ Envelope",
      "1", "Key 7 0 0", "AmbientIntensity (envelope)", "{ Envelope", "1", "Key 8 0 0", "}", "{ Envelope", "1",
      "Key 6 0 0"})));
  const SceneObject& object = Object(0);
  const Camera& camera = *scene->cameras[0];
  const Light& light = *scene->lights[0];
  // Keys by time, ties in file order; the bank, not the zoom's 3.2; an unreadable count gives none.
  const std::pair<const std::unique_ptr<Envelope>*, std::vector<float>> kept[] = {
      {&object.envelopes[0], {1, 3}}, {&object.envelopes[1], {8, 6, 5, 7}}, {&object.envelopes[2], {}},
      {&camera.envelopes[CHANNEL_BANK], {0.5f}}, {&camera.zoomEnvelope, {3.2f}}, {&light.envelopes[8], {}},
      {&light.envelopes[0], {4}}, {&light.intensityEnvelope, {5}}, {&light.coneAngleEnvelope, {7}},
      {&scene->ambientIntensityEnvelope, {8}}};
  for (const auto& [slot, values] : kept) {
    ASSERT_NE(*slot, nullptr) << values.size();
    std::vector<float> read;
    for (const EnvelopeKey& k : (*slot)->keys) read.push_back(k.value);
    EXPECT_EQ(read, values);
  }
  for (uint32_t c = 3; c < OBJECT_ENVELOPE_COUNT; ++c) EXPECT_EQ(object.envelopes[c], nullptr) << c;
  for (uint32_t c = 0; c < 5; ++c) EXPECT_EQ(camera.envelopes[c], nullptr) << c;
  EXPECT_EQ(light.intensity, 0);
  for (const char* notice : {"animated FocalDistance is not played, its envelope is skipped",
                             "envelope without a Channel line, skipped"})
    EXPECT_TRUE(Logged(2, std::string("LWSLDR(ReadNumKeys) - LWS \"test.lws\": ") + notice)) << notice;
  EXPECT_EQ(LinesWith("ZoomFactor is not played") + LinesWith("LightIntensity is not played"), 0u);
}

// Lines before their item, without their arguments, or after a bone (whose motion and parent
// must not replace its object's) change nothing; object keywords after a bone still reach it. Long lines are cut.
TEST_F(LwsParse, LinesWithoutTheirItemOrArgumentsChangeNothingAndLongLinesAreCut) {
  AddFile("a.lwo", test::TriangleObject());
  std::string text = Lws({"LightName Early", "LightColor 1 0 0", "CameraName Early", "UnseenByCamera",
                             "PivotPosition 1 2 3", "ShadowOptions 4", "MorphTarget 1", "Plugin D 1 MD_Plug",
                             "filename x.mdd", "mdflag 0 0 5 0 0 0", "ParentItem 10000000", "TargetObject 1",
                             "LoadObjectLayer 1 a.lwo", "PivotPosition 1 2", "Channel 0", "{ Envelope", "1",
                             "Key 7 0 0 0 0 0 0 0 0", "}", "BoneFalloffType 5", "AddBone", "BoneName Bone",
                             "BoneRestPosition 0 0 0", "BoneMotion", "Channel 0", "{ Envelope", "1",
                             "Key 2 0 0 0 0 0 0 0 0", "}", "ParentItem 40000000", "ParentItem 10000000",
                             "\"LW_Oscillator\"", "ShadowOptions 4", "AddLight", "LightIntensity (envelope)",
                             "LightType", "LightRange far", "LightName", "AddCamera", "CameraName", "AddLight",
                             "LightName " + std::string(300, 'n'), std::string(70, 'K') + " 1", "LightRange 2",
                             "AddCamera"});
  text += std::string("CameraName ab\0cd", 16) + "\r\n" + "LightColor 0.5 \x01 1\r\n";  // odd bytes stay in their line
  ASSERT_TRUE(LoadScene(text));
  ASSERT_TRUE(scene->objects.size() == 1 && scene->lights.size() == 2 && scene->cameras.size() == 2);
  const SceneObject& object = Object(0);
  EXPECT_EQ(object.flags, OBJECT_CLAIMED | OBJECT_UNLIT);
  EXPECT_TRUE(object.pivot.x == 0 && object.pointCache == nullptr && scene->oscillators.empty());
  EXPECT_TRUE(object.parent == nullptr && object.parentIndex == 0u && object.morphTargetIndex == -1);
  ASSERT_TRUE(object.envelopes[0] && object.envelopes[0]->keys.size() == 1);
  EXPECT_EQ(object.envelopes[0]->keys[0].value, 7);
  const Light& light = *scene->lights[0];
  EXPECT_TRUE(light.intensity == 0 && light.kind == LIGHT_POINT && light.range == 0 && light.name.empty());
  EXPECT_EQ(scene->cameras[0]->name, "");
  EXPECT_EQ(scene->lights[1]->name, std::string(255 - 10, 'n'));
  EXPECT_TRUE(scene->lights[1]->range == 2 && scene->cameras[1]->name == "ab");
  EXPECT_EQ(scene->lights[1]->color.x, 0);  // the color line doesn't hold three numbers
  EXPECT_TRUE(boxes.messages.empty());
}

using LwsCorpus = test::SceneFixture;

TEST_F(LwsCorpus, RealScenesLoadAlikeWhateverTheirFormat) {
  SKIP_WITHOUT_CORPUS();
  system.settings.triangulate = true;  // the cube is of quads
  const std::string folder = test::CorpusDir() + "/lightwave/scenes/";
  AddFile("simple_cube.lwo", test::ReadBytes(folder + "simple_cube.lwo"));
  const std::vector<std::vector<const char*>> groups = {
      {"move_x.lws", "move_x_oldformat_6.lws"},
      {"move_x_post_linear.lws", "move_x_post_repeat.lws", "move_x_post_reset.lws"},
      {"move_xz_hermite.lws", "move_xz_linear.lws", "move_xz_bezier.lws"}};
  for (const auto& group : groups) {
    std::string first;
    for (const char* name : group) {
      NewScene();
      ASSERT_TRUE(LoadScene(test::ReadText(folder + name), name)) << name;
      if (first.empty()) first = Describe(*scene);
      EXPECT_EQ(Describe(*scene), first) << name;
    }
    // What every file of the group read alike: the cube, the light and the camera, every channel keyed.
    ASSERT_TRUE(scene->objects.size() == 1 && scene->lights.size() == 1 && scene->cameras.size() == 1) << group[0];
    const SceneObject& cube = Object(0);
    EXPECT_TRUE(scene->lights[0]->name == "Light" && scene->lights[0]->kind == LIGHT_POINT);
    EXPECT_TRUE(scene->cameras[0]->name == "Camera" && scene->cameras[0]->target == nullptr);
    for (const auto& [slots, count] : {std::pair{cube.envelopes, 9u}, {scene->lights[0]->envelopes, LIGHT_ENVELOPE_COUNT},
                                       {scene->cameras[0]->envelopes, CAMERA_ENVELOPE_COUNT}})
      for (uint32_t c = 0; c < count; ++c) EXPECT_TRUE(slots[c] && !slots[c]->keys.empty()) << group[0] << ' ' << c;
    EXPECT_EQ(scene->lastFrame, group[0][6] == '.' ? 60 : 120) << group[0];
  }
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_EQ(log.Text().find("[ 01 ] - LWSLDR"), std::string::npos);
}

}  // namespace
