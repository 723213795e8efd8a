// The scene-file items: layers, clones, nulls, lights, cameras, parents, targets, oscillators, caches.
#include "support/SceneFixture.h"

namespace {

using test::Lws;
using LwsItems = test::SceneFixture;

TEST_F(LwsItems, RepeatedLayersBecomeClonesAndEachFileLoadsOnce) {
  AddFile("my ship.lwo", test::TriangleObject(2, 1));  // two hidden layers
  ASSERT_TRUE(LoadScene(Lws({"LoadObjectLayer 1 Objects\\my ship.lwo", "LoadObjectLayer 1 Objects\\my ship.lwo",
                             "AddNullObject ACTFADE 255 0 0", "LoadObjectLayer 2 D:/demo/objects/my ship.lwo",
                             "LoadObjectLayer 1 my ship.lwo", "AddNullObject"})));
  EXPECT_EQ(LinesWith("LWOLDR(Load) - Loading"), 1u);
  // The file's two layers come first, as the object loader made them; clones and nulls follow.
  ASSERT_EQ(scene->objects.size(), 6u);
  SceneObject &layer1 = Object(0), &layer2 = Object(1), &clone = Object(2), &null = Object(3);
  const uint32_t itemIndices[] = {0, 3, 1, 2, 4, 5};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(Object(i).itemIndex, itemIndices[i]) << i;
  EXPECT_TRUE(layer1.flags == (OBJECT_HIDDEN | OBJECT_CLAIMED) && layer2.flags == layer1.flags);

  EXPECT_TRUE(clone.fileName == "Clone ID 1" && clone.itemName == "Clone ID 1" && clone.layerNumber == 0);
  EXPECT_EQ(Object(4).fileName, "Clone ID 4");
  EXPECT_EQ(clone.flags, OBJECT_CLAIMED);  // the layer's hidden flag stays with the layer
  ASSERT_TRUE(clone.baseVertices.size() == layer1.baseVertices.size() && clone.triangles.size() == 1);
  EXPECT_EQ(clone.triangles[0].surface, layer1.triangles[0].surface);

  EXPECT_TRUE(null.itemName == "ACTFADE" && null.fileName.empty() && Object(5).itemName.empty());
  // A fade: drawn after the scene.
  EXPECT_TRUE(null.flags == (OBJECT_HIDDEN | OBJECT_NULL) && null.actionPhase == ACTION_POST_SCENE);
  EXPECT_TRUE(scene->FindObjectByIndex(3) == &layer2 && boxes.messages.empty());

  NewScene();  // from format version 4 on, an item id stands before the path
  ASSERT_TRUE(LoadScene("LWSC\r\n5\r\nLoadObjectLayer 2 10000000 Objects\\my ship.lwo\r\n"));
  EXPECT_EQ(scene->FindObjectByIndex(0), &Object(1));
}

TEST_F(LwsItems, ObjectLinesThatCantBeMetStopTheLoad) {
  AddFile("ship.lwo", test::TriangleObject());
  AddFile("bad.lwo", {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'L', 'W', 'O', 'B'});
  for (const char* line : {"LoadObjectLayer 1 bad.lwo", "LoadObjectLayer 2 ship.lwo", "LoadObjectLayer ship.lwo",
                           "LoadObjectLayer 1 ship/"}) {
    NewScene();
    EXPECT_FALSE(LoadScene(Lws({line}))) << line;
  }
  EXPECT_EQ(LinesWith("LWSLDR(LoadObjectLayer) - File \"ship.lwo\" was loaded/found but the database returned an "
                      "error. This should not happen. Better write me a mail :)"),
            2u);
  EXPECT_TRUE(Logged(0, "LWSLDR(LoadObjectLayer) - File \"\" not found in current path/datafile, VFS returned "
                        "error!"));
  EXPECT_TRUE(Logged(0, "LWSLDR(LoadObjectLayer) - File \"bad.lwo\" could not be loaded, LWS parser canceled"));
}

TEST_F(LwsItems, LightsAndCamerasAreCountedAndFilled) {
  system.settings.width = 800;
  system.settings.height = 600;
  system.widescreenHeight = 450;
  ASSERT_TRUE(LoadScene(Lws({"AddLight", "LightName Key Light", "LightColor 1 0.5 0.25", "LightIntensity 0.8",
                             "LightType 2", "LightRange 12.5", "LightFalloffType 2", "LightConeAngle 20",
                             "LightEdgeAngle 4", "AddCamera", "CameraName Main", "ZoomFactor 6.4", "AddLight",
                             "LightType 0", "LightType 3", "AddCamera", "AddLight", "LightType 1", "LightType 7"})));
  ASSERT_TRUE(scene->lights.size() == 3 && scene->cameras.size() == 2);
  const Light& key = *scene->lights[0];
  EXPECT_TRUE(key.name == "Key" && key.color.y == 0.5f && key.intensity == 0.8f && key.range == 12.5f);
  // The type as written, for the LightWave look: 2 is a spot there.
  EXPECT_TRUE(key.kind == LIGHT_DISTANT && key.falloff == 2u && key.type == LIGHT_TYPE_SPOT && key.coneAngle == 20 &&
              key.edgeAngle == 4);
  EXPECT_TRUE(scene->lights[1]->lightIndex == 1u && scene->lights[1]->kind == LIGHT_POINT &&
              scene->lights[1]->type == LIGHT_TYPE_LINEAR);
  EXPECT_TRUE(scene->lights[2]->lightIndex == 2u && scene->lights[2]->type == LIGHT_TYPE_POINT);
  const Camera& main = *scene->cameras[0];
  EXPECT_TRUE(main.name == "Main" && scene->cameras[1]->cameraIndex == 1u);
  EXPECT_TRUE(main.zoomFactor == 6.4f && scene->cameras[1]->zoomFactor == CAMERA_ZOOM_FACTOR);
  EXPECT_TRUE(main.viewportWidth == 800u && main.viewportHeight == 450u && main.aspect == 800.0f / 450.0f);  // 16:9

  system.settings.widescreen = 0;
  NewScene();
  ASSERT_TRUE(LoadScene(Lws({"AddCamera"})));
  EXPECT_EQ(scene->cameras[0]->viewportHeight, 600u);
}

TEST_F(LwsItems, ParentsResolveAfterTheLastLineAndLoopsAreBroken) {
  ASSERT_TRUE(LoadScene(Lws({"AddNullObject Zero", "ParentItem 10000003", "AddNullObject One",
                             "ParentItem 30000000", "AddNullObject Two", "ParentItem 20000001", "AddNullObject Three",
                             "ParentItem 1000FFFF", "AddNullObject Four", "ParentItem 00000001", "ParentItem 50000001",
                             "AddCamera", "ParentItem 10000003", "AddLight", "AddLight", "ParentItem 0x30000000"})));
  EXPECT_TRUE(Object(0).parent == &Object(3) && Object(0).parentKind == ITEM_OBJECT);
  EXPECT_TRUE(Object(1).parent == scene->cameras[0].get() && Object(1).parentKind == ITEM_CAMERA);
  EXPECT_TRUE(Object(2).parent == scene->lights[1].get() && Object(2).parentKind == ITEM_LIGHT);
  // No object 0xFFFF; kinds other than 1-3 are skipped.
  EXPECT_TRUE(Object(3).parent == nullptr && Object(4).parent == nullptr && Object(4).parentIndex == 0);
  EXPECT_TRUE(scene->cameras[0]->parent == &Object(3) && scene->lights[0]->parent == nullptr);
  EXPECT_EQ(scene->lights[1]->parent, scene->cameras[0].get());
  EXPECT_EQ(LinesWith("its own ancestor"), 0u);

  NewScene();
  ASSERT_TRUE(LoadScene(Lws({"AddNullObject A", "ParentItem 10000001", "AddNullObject B", "ParentItem 10000000",
                             "AddNullObject C", "ParentItem 10000002", "AddNullObject D", "ParentItem 10000000",
                             "AddNullObject E", "ParentItem 30000000", "AddCamera", "CameraName Cam",
                             "ParentItem 20000000", "AddLight", "LightName Lamp", "ParentItem 10000004"})));
  // A ↔ B loses the closing link; C names itself; D only leads in; E → camera → light → E.
  EXPECT_TRUE(Object(0).parent == &Object(1) && Object(1).parent == nullptr && Object(2).parent == nullptr);
  EXPECT_TRUE(Object(3).parent == &Object(0) && Object(4).parent == scene->cameras[0].get());
  EXPECT_TRUE(scene->cameras[0]->parent == scene->lights[0].get() && scene->lights[0]->parent == nullptr);
  for (const char* item : {"object \"B\"", "object \"C\"", "light \"Lamp\""})
    EXPECT_TRUE(Logged(1, std::string("LWSLDR(ResolveParents) - LWS \"test.lws\": ") + item +
                              " is its own ancestor, its parent was dropped"))
        << item;
  EXPECT_TRUE(LinesWith("its own ancestor") == 3 && boxes.messages.empty());
}

TEST_F(LwsItems, CameraTargetsMorphTargetsAndSwitches) {
  ASSERT_TRUE(LoadScene(Lws({"AddNullObject Zero", "MorphTarget 2", "TargetObject 1", "AddNullObject One",
                             "MorphTarget 0", "ShadowOptions 7", "AddNullObject Two", "MorphTarget 9",
                             "ShadowOptions 259", "AddLight", "TargetItem 10000000", "AddCamera", "CameraName First",
                             "TargetObject 2", "AddCamera", "CameraName Second", "TargetItem 40000002", "AddCamera",
                             "CameraName Third", "TargetObject 7", "AddNullObject Three", "MorphTarget 4",
                             "ShadowOptions 4", "UnseenByCamera", "PivotPosition 1 -2 0.5", "ObjectDissolve 0.25"})));
  EXPECT_TRUE(scene->cameras[0]->target == &Object(1) && scene->cameras[2]->target == nullptr);
  EXPECT_EQ(scene->cameras[1]->target, &Object(2));  // the kind bits are not examined
  for (const char* line : {"contains target from object which isn't supported!",
                           "contains target from light which isn't supported!",
                           ": Camera \"Third\"'s target object not found in database!"})
    EXPECT_TRUE(Logged(1, std::string("LWSLDR(TargetObject) - LWS \"test.lws\"") + (line[0] == ':' ? "" : " ") + line))
        << line;

  // Morph targets may come later in the file; one naming nothing still marks its object. ShadowOptions 7 sets nothing.
  const uint32_t null = OBJECT_HIDDEN | OBJECT_NULL;
  EXPECT_TRUE(Object(0).morphTarget == &Object(1) && Object(1).morphTarget == nullptr &&
              Object(2).morphTarget == nullptr && Object(3).morphTarget == &Object(3));
  EXPECT_EQ(Object(1).morphTargetIndex, -1);
  const uint32_t flags[] = {null | OBJECT_DYNAMIC, null, null | OBJECT_TRAIL | OBJECT_DYNAMIC,
                            null | OBJECT_DYNAMIC | OBJECT_UNLIT};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Object(i).flags, flags[i]) << i;
  EXPECT_TRUE(Object(3).pivot.y == -2 && Object(3).pivot.z == 0.5f && Object(3).dissolve == 0.25f &&
              Object(2).dissolve == 0);
}

TEST_F(LwsItems, OscillatorsReadTheirLinesAheadInEngineFrames) {
  ASSERT_TRUE(LoadScene(Lws({"FramesPerSecond 25", "AddNullObject A", "Channel 1", "{ Envelope", "1",
                             "Key 0 1 0 0 0 0 0 0 0", "}", "\"LW_Oscillator\"", "3", "1", "0.5", "", "7", "8",
                             "0.25", "2", "Channel 2", "{ Envelope", "1", "Key 0 0 0 0 0 0 0 0 0", "}",
                             "\"LW_Oscillator\"", "1", "0", "2", "Channel 4", "\"LW_Oscillator\""})));
  const Envelope* e = Object(0).envelopes[1].get();
  ASSERT_TRUE(e && e->oscillators.size() == 1);
  const Oscillator& o = *e->oscillators[0];
  // Period: engine speed / frequency, whatever the scene's rate.
  EXPECT_TRUE(o.period == 30 && o.amplitude == 0.5f && o.start == 7.5f && o.end == 60);
  EXPECT_EQ(e->keys.size(), 1u);  // the read-ahead lines, read again, change nothing: no key count, no channel
  // A frequency of 0 gives no wave; lines missing at the end of the file read as 0.
  ASSERT_EQ(Object(0).envelopes[2]->oscillators.size(), 1u);
  const Oscillator& still = *Object(0).envelopes[2]->oscillators[0];
  EXPECT_TRUE(still.period == 0 && still.amplitude == 2 && still.end == 0);
  EXPECT_EQ(scene->oscillators.size(), 2u);  // channel 4 has no envelope: its oscillator line makes nothing
  EXPECT_FLOAT_EQ(EvaluateEnvelope(e, 15), OscillatorValue(o, 15));
}

TEST_F(LwsItems, PointCacheRecordsTakeTheirFileAndStartFrame) {
  ASSERT_TRUE(LoadScene(Lws({"AddNullObject A", "Plugin DisplacementHandler 1 MD_Plug",
                             "filename C:\\caches\\my cache.mdd", "mdflag 1 0 12 0 0 0", "EndPlugin",
                             "AddNullObject B", "Plugin DisplacementHandler 1 MD_Plug", "filename plain cache.mdd",
                             "mdflag 1 0", "AddNullObject C", "Plugin DisplacementHandler 1 Other",
                             "AddNullObject D", "Plugin DisplacementHandler 1 MD_Plug",
                             "filename d:/" + std::string(120, 'm'), "AddNullObject E",
                             "Plugin DisplacementHandler 1 MD_Plug", "mdflag 0 0 5 0 0 0",
                             "Plugin DisplacementHandler 1 MD_Plug"})));
  // Enabled, name, start frame: B's mdflag line holds no third number; a second Plugin line replaced E's record.
  std::vector<std::string> caches;
  for (const auto& o : scene->objects)
    caches.push_back(o->pointCache ? std::to_string(o->pointCache->enabled) + ' ' + o->pointCache->mddName + ' ' +
                                         std::to_string(o->pointCache->startFrame)
                                   : "-");
  EXPECT_EQ(caches, (std::vector<std::string>{"1 my cache.mdd 12", "1 plain cache.mdd 0", "-",
                                              "1 " + std::string(MDD_NAME_MAX, 'm') + " 0", "1  0"}));
  EXPECT_EQ(LinesWith("LWSLDR(Filename) - Found MDD file reference, marked for later processing"), 3u);

  for (const char* line : {"filename a.mdd", "mdflag 0 0 5 0 0 0"}) {
    NewScene();
    EXPECT_FALSE(LoadScene(
        Lws({"AddNullObject A", "Plugin DisplacementHandler 1 MD_Plug", "AddNullObject B", line, "AddLight"})))
        << line;
    EXPECT_TRUE(scene->lights.empty());
  }
  EXPECT_TRUE(Logged(0, "LWSLDR(Filename) - MDD got no valid filename, can't load MDD!"));
  EXPECT_TRUE(Logged(0, "LWSLDR(MDFLAG) - \"test.lws\" MDD is not enabled, error while processing flags!"));
}

}  // namespace
