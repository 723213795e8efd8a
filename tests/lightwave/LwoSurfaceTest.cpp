// The object loader's surfaces, texture blocks, clips and envelopes, and the texture projections.
#include "support/SceneFixture.h"

#include <cmath>

namespace {

using test::LwoWriter;

// One triangle tagged "Skin", ready for clips, envelopes and surfaces to follow.
LwoWriter SkinnedTriangle() {
  LwoWriter w;
  w.Tags({"Skin", "Other"}).Layer(0, 0, 0, 0, 0, "").Points({0, 0, 0, 1, 0, 0, 0, 1, 0});
  w.Polygons("FACE", {{0, 1, 2}}).PolygonTags("SURF", {{0, 0}});
  return w;
}

using LwoSurface = test::SceneFixture;

TEST_F(LwoSurface, SurfacesTakeLevelsSidesEnvelopesAndUpToTwoImageLayers) {
  LwoWriter w = SkinnedTriangle();
  w.Chunk("ENVL").U2(1);
  w.Sub("TYPE").U1(4).U1(0).End().Sub("PRE ").U2(1).End();
  w.Sub("KEY ").F4(0).F4(1).End().Sub("SPAN").Id("HERM").F4(0.5f).F4(-0.25f).End();
  w.Sub("KEY ").F4(2).F4(3).End().Sub("SPAN").Id("HERM").F4(1).F4(2).End();
  w.Sub("NAME").S0("level").End().End();
  w.Chunk("ENVL").U2(2);
  w.Sub("KEY ").F4(1).F4(0.5f).End().Sub("SPAN").Id("LINE").End();
  w.Sub("KEY ").F4(3).F4(0.25f).End().Sub("SPAN").Id("TCB ").F4(0.5f).F4(0.25f).F4(-0.5f).End();
  // Two waves a second, amplitude 0.3, from 1 s to 4 s.
  w.Sub("CHAN").S0("LW_Oscillator").U2(0).F4(2).F4(0.3f).F4(0).F4(0).F4(0).F4(1).F4(4).F4(0).End();
  w.Sub("CHAN").S0("LW_Noise").U2(0).F4(1).End();
  w.End();
  w.StillClip(1, "C:\\maps\\wood.tga");
  w.Chunk("CLIP").U4(2).Sub("STIL").S0("Q:ASSIMP/x/alpha.png").End().Sub("FLAG").U2(1).U2(0).End().End();

  w.Chunk("SURF").S0("Skin").S0("");
  w.Sub("COLR").Vec(0.5f, 0.25f, 1).VX(0).End();
  w.Sub("DIFF").F4(0.8f).VX(0).End();
  w.Sub("TRAN").F4(0.5f).VX(2).End();
  w.Sub("LUMI").F4(0.1f).VX(7).End();  // no envelope 7: the first one stands in
  w.Sub("SMAN").F4(1.5f).End().Sub("SIDE").U2(3).End().Sub("SIDE").U2(2).End();
  w.Sub("GLOS").F4(0.4f).VX(0).End();  // known, not kept
  w.Sub("VERS").U4(950).End();         // unknown
  w.Sub("BLOK").Sub("PROC").S0("\x80").Sub("CHAN").Id("COLR").End().End();
  w.Sub("TMAP").Sub("SIZE").Vec(9, 9, 9).VX(0).End().End().End();
  w.Sub("BLOK").Sub("IMAP").S0("\x81").Sub("CHAN").Id("TRAN").End().Sub("ENAB").U2(1).End().Sub("WHAT").End().End();
  w.Sub("TMAP").Sub("CNTR").Vec(1, 2, 3).VX(0).End().Sub("SIZE").Vec(2, 2, 2).VX(1).End();
  w.Sub("ROTA").Vec(0, 0.5f, 0).VX(0).End().Sub("FALL").U2(0).Vec(0, 0, 0).VX(0).End().Sub("ODD!").End();
  w.Sub("CSYS").U2(1).End().Sub("OREF").S0("Null").End().End();
  w.Sub("PROJ").U2(0).End().Sub("AXIS").U2(1).End().Sub("IMAG").VX(2).End().Sub("WRAP").U2(0).U2(2).End();
  w.Sub("WRPW").F4(2.5f).VX(0).End().Sub("WRPH").F4(3).VX(0).End().Sub("VMAP").S0("alt").End();
  w.End();
  w.Sub("BLOK").Sub("IMAP").S0("\x82").Sub("CHAN").Id("BUMP").End().End().Sub("IMAG").VX(9).End();
  w.Sub("TMAP").Sub("CNTR").Vec(0, 0, 0).VX(1).VX(2).VX(1).VX(2).End().End().End();  // an envelope each
  w.Sub("BLOK").Sub("IMAP").S0("\x83").End().Sub("IMAG").VX(1).End().End();
  w.End();
  // Double-sided: set by SIDE 3, kept by SIDE 2 (a second chunk too), cleared by SIDE 1; no polygon uses "Other".
  w.Chunk("SURF").S0("Skin").S0("").Sub("SIDE").U2(2).End().End();
  w.Chunk("SURF").S0("Other").S0("").Sub("COLR").Vec(0, 1, 0).VX(0).End();
  w.Sub("SIDE").U2(3).End().Sub("SIDE").U2(1).End().End();
  w.Chunk("SURF").S0("Nowhere").S0("").End();  // no tag at all: the load stops
  w.Layer(1, 0, 0, 0, 0, "never read");
  EXPECT_FALSE(LoadObject(w.File()));
  EXPECT_TRUE(Logged(0, "LWOLDR(ReadSURF) - LWO test.lwo specified surface which couldn't be located in internal "
                        "object database!"));
  const Surface &skin = *scene->surfaces[0], &other = *scene->surfaces[1];
  EXPECT_TRUE(other.name == "Other" && other.color.y == 1 && other.flags == SURFACE_INITIAL);
  EXPECT_TRUE(skin.color.y == 0.25f && skin.diffuse == 0.8f && skin.smoothing == 1.5f);
  EXPECT_TRUE(skin.flags == (SURFACE_INITIAL | SURFACE_DOUBLE_SIDED) && !skin.envelopes[SURFACE_ENV_DIFFUSE]);

  // Transparency: a copy of envelope 2, keys in frames at 30 a second; only LightWave's keeps TCB.
  const Envelope* fade = skin.envelopes[SURFACE_ENV_TRANSPARENCY].get();
  ASSERT_TRUE(fade && fade->index == 0 && fade->keys.size() == 2 && fade->oscillators.size() == 1);
  EXPECT_TRUE(skin.transparency == 0.5f && fade->keys[0].time == 30 && fade->keys[0].shape == SHAPE_LINEAR);
  EXPECT_TRUE(fade->keys[1].time == 90 && fade->keys[1].shape == 0u && fade->lightwaveKeys.size() == 2);
  const EnvelopeKey& tcb = fade->lightwaveKeys[1];
  EXPECT_TRUE(tcb.shape == SHAPE_TCB && tcb.tension == 0.5f && tcb.continuity == 0.25f && tcb.bias == -0.5f);
  ASSERT_EQ(scene->oscillators.size(), 1u);
  const Oscillator& wave = *scene->oscillators[0];
  EXPECT_TRUE(fade->oscillators[0] == &wave && wave.period == 15 && wave.start == 30 && wave.end == 120);
  EXPECT_FLOAT_EQ(wave.amplitude, 0.3f);

  // Luminosity asked for envelope 7 and got a copy of the first, a Hermite one.
  const Envelope* glow = skin.envelopes[SURFACE_ENV_LUMINOSITY].get();
  ASSERT_TRUE(glow && glow->keys.size() == 2);
  const EnvelopeKey& hermite = glow->keys[0];
  EXPECT_TRUE(glow->keys[1].time == 60 && hermite.shape == SHAPE_HERMITE && hermite.inTangent == 0.5f &&
              hermite.outTangent == -0.25f);

  ASSERT_EQ(skin.layerCount, 2u);
  const TextureLayer& alpha = *skin.layers[0];
  EXPECT_TRUE(alpha.ordinal == "\x81" && alpha.channel == LAYER_TRANSPARENCY && alpha.imageName == "alpha.png");
  EXPECT_TRUE(alpha.center.z == 3 && alpha.size.x == 2 && alpha.rotation.y == 0.5f && alpha.axis == AXIS_Y);
  EXPECT_TRUE(alpha.wrapU == WRAP_RESET && alpha.wrapV == WRAP_MIRROR && alpha.wrapWidth == 2.5f &&
              alpha.wrapHeight == 3 && alpha.uvMapName == "alt");
  EXPECT_TRUE(alpha.coordinates == COORDINATES_WORLD && alpha.referenceItem == "Null" && alpha.projection == 0);
  EXPECT_EQ(alpha.envelopes[LAYER_ENV_CENTER_X], nullptr);
  for (uint32_t slot = LAYER_ENV_SIZE_X; slot <= LAYER_ENV_SIZE_Z; ++slot)  // envelope 1 for all three
    ASSERT_TRUE(alpha.envelopes[slot] && alpha.envelopes[slot]->keys[1].value == 3) << slot;
  const TextureLayer& bump = *skin.layers[1];
  EXPECT_TRUE(bump.channel == LAYER_COLOR && bump.imageName == "");
  for (uint32_t slot = LAYER_ENV_CENTER_X; slot <= LAYER_ENV_CENTER_Z; ++slot)
    EXPECT_EQ(bump.envelopes[slot]->keys[0].value, slot == LAYER_ENV_CENTER_Y ? 1 : 0.5f) << slot;

  EXPECT_EQ(system.textureCache.references, (std::vector<std::string>{"wood.tga", "alpha.png"}));
  EXPECT_EQ(LinesWith("LWOLDR(ReadBLOK) - File \"test.lwo\" contains procedural textures which are not supported!"),
            1u);
  EXPECT_TRUE(Logged(0, "LWOLDR(FindEnvelope) - LWO \"test.lwo\" referenced to non-existing envelope. I'm trying "
                        "to fake that envelope with an other one!"));
  EXPECT_EQ(LinesWith("unrecognized surface subchunk"), 1u);
  for (const char* line :
       {"ReadSURF) - LWO test.lwo contains unrecognized surface subchunk",
        "ReadCLIP) - Clip chunk in LWO test.lwo contains unrecognized subchunks!",
        "ReadHEAD) - Unrecognized subchunk in LWO test.lwo!",
        "ReadTMAP) - Potential TMAP failure in \"test.lwo\". Trying to fake that, mail XR!",
        "ReadIMAP) - Surface \"Skin\" contains unsupported texture layer type, layer is set to solid texturing",
        "ReadBLOK) - Object \"test.lwo\" tried to assign a non-existant texture!",
        "ReadIMAP) - Surface \"Skin\" has more than two image blocks, the others are left out"})
    EXPECT_TRUE(Logged(1, std::string("LWOLDR(") + line)) << line;
  EXPECT_EQ(boxes.messages.size(), 3u);  // the procedural block, the missing envelope, the missing surface
}

TEST_F(LwoSurface, KeyTimesFollowTheEngineSpeedAndBrokenEnvelopesDontStopTheLoad) {
  LwoWriter w = SkinnedTriangle();
  w.Chunk("ENVL").U2(1).Sub("KEY ").F4(2).F4(1).End().Sub("SPAN").Id("HERM").F4(1).End();
  w.Sub("KEY ").U2(0).Id("KEY ").End(200);  // says 200 bytes, holds 6
  w.End();
  // Repeat before, linear after; keys 0 (Bezier), 3 at 1 s (stepped), 6 at 2 s (2D Bezier: handle 0.4 s back, 1 down)
  w.Chunk("ENVL").U2(2).Sub("PRE ").U2(BEHAVIOR_REPEAT).End().Sub("POST").U2(BEHAVIOR_LINEAR).End();
  w.Sub("KEY ").F4(0).F4(0).End().Sub("SPAN").Id("BEZI").F4(0.5f).F4(0.25f).End();
  w.Sub("KEY ").F4(1).F4(3).End().Sub("SPAN").Id("STEP").End();
  w.Sub("KEY ").F4(2).F4(6).End().Sub("SPAN").Id("BEZ2").F4(-0.4f).F4(-1).F4(0.2f).F4(2).End().End();
  w.Chunk("SURF").S0("Skin").S0("").Sub("DIFF").F4(1).VX(1).End().Sub("LUMI").F4(0).VX(2).End().End();

  system.SetEngineSpeed(25);
  ASSERT_TRUE(LoadObject(w.File()));
  EXPECT_TRUE(Logged(0, "LWOLDR(ReadENVL) - Something strange occured in LWO \"test.lwo\" Envelope Loader -> "
                        "Blocksize invalid. I'm trying to continue but this may be caused by authors lazyness after "
                        "midnight"));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadENVL) - A span of envelope 1 in test.lwo is cut short, skipped"));
  const Envelope* diffuse = scene->surfaces[0]->envelopes[SURFACE_ENV_DIFFUSE].get();
  ASSERT_TRUE(diffuse && diffuse->keys.size() == 1);
  EXPECT_TRUE(diffuse->keys[0].time == 50 && diffuse->keys[0].shape == 0u);

  // The classic look keeps Hermite and linear spans only; LightWave's reading keeps every span.
  const Envelope* spans = scene->surfaces[0]->envelopes[SURFACE_ENV_LUMINOSITY].get();
  ASSERT_TRUE(spans && spans->keys.size() == 3 && spans->lightwaveKeys.size() == 3);
  EXPECT_TRUE(spans->pre == BEHAVIOR_REPEAT && spans->post == BEHAVIOR_LINEAR);
  for (const EnvelopeKey& k : spans->keys) EXPECT_EQ(k.shape, 0u);
  const EnvelopeKey* lw = spans->lightwaveKeys.data();
  EXPECT_TRUE(lw[0].shape == SHAPE_BEZIER && lw[1].shape == SHAPE_STEPPED && lw[2].shape == SHAPE_BEZIER2D);
  EXPECT_TRUE(lw[0].inTangent == 0.5f && lw[0].outTangent == 0.25f);
  EXPECT_TRUE(lw[2].inHandleTime == -10 && lw[2].inHandleValue == -1 && lw[2].outHandleTime == 5 &&
              lw[2].outHandleValue == 2);
  EXPECT_EQ(EvaluateEnvelope(spans, 12, true), 0);  // stepped up to frame 25
  EXPECT_NEAR(EvaluateEnvelope(spans, -25, true), 3, 1e-4f);  // a round back: frame 25
  EXPECT_FLOAT_EQ(EvaluateEnvelope(spans, 60, true), 7);  // 6 on at the handle's slope, 0.1 a frame
  EXPECT_TRUE(EvaluateEnvelope(spans, -25, false) == 0 && EvaluateEnvelope(spans, 60, false) == 6);
  EXPECT_FLOAT_EQ(EvaluateEnvelope(spans, 12, false), 12 * 0.12f);

  Scene lone;  // a scene without a system counts 30 frames a second
  ASSERT_TRUE(LwoLoader::Load(lone, vfs, "test.lwo"));
  EXPECT_EQ(lone.surfaces[0]->envelopes[SURFACE_ENV_DIFFUSE]->keys[0].time, 60);
}

// Each case one triangle whose corner coordinates were worked out by hand: the classic look's
// planar rule, and LightWave's rules (q = R⁻¹(p − centre) / size, R = heading · pitch · bank).
TEST(LwoProjection, EachLookMapsItsProjections) {
  const float A = 0.0996687f / 6.2831853f;  // atan(0.1) as a share of a turn
  const float PI = 3.14159265f;
  struct Case {
    const char* what;
    uint8_t projection, axis;
    Vec3 center, size, rotation;
    float wrapWidth, wrapHeight;
    std::vector<Vec3> p;
    float uv[6];
    bool classic = false;
  };
  const Case cases[] = {
      {"classic y: from the box's corner, u along x, v along z", PROJECTION_PLANAR, AXIS_Y, {}, {2, 2, 2}, {}, 1, 1,
       {{2, 0, -2}, {0, 0, 0}, {0, 3, -2}}, {0.5f, 0.5f, -0.5f, -0.5f, -0.5f, 0.5f}, true},
      {"classic z: the pitch turns v onto the z axis", PROJECTION_PLANAR, AXIS_Z, {}, {2, 2, 2}, {0, PI / 2, 0}, 1, 1,
       {{2, 0, -2}, {0, 0, 0}, {0, 3, -2}}, {0.5f, -1.5f, -0.5f, -0.5f, -0.5f, -1.5f}, true},
      {"classic x: u along z, v along y", PROJECTION_PLANAR, AXIS_X, {0, 1, 0}, {2, 2, 2}, {0, PI / 2, 0}, 1, 1,
       {{2, 0, -2}, {0, 0, 0}, {0, 3, -2}}, {0.5f, -1, -0.5f, -1, 0.5f, 0.5f}, true},
      {"classic: not planar, left alone", PROJECTION_CYLINDRICAL, AXIS_Y, {}, {2, 2, 2}, {}, 1, 1,
       {{2, 0, -2}, {0, 0, 0}, {0, 3, -2}}, {}, true},
      {"planar z: centred, half a size right is u 1", PROJECTION_PLANAR, AXIS_Z, {1, 0, 0}, {2, 4, 1}, {}, 1, 1,
       {{2, 1, 5}, {1, 0, 0}, {0, -2, 0}}, {1, 0.75f, 0.5f, 0.5f, 0, 0}},
      {"planar x: u along z, v along y", PROJECTION_PLANAR, AXIS_X, {}, {1, 2, 4}, {}, 1, 1,
       {{3, -1, 1}, {0, 0, 0}, {0, 2, -2}}, {0.75f, 0, 0.5f, 0.5f, 0, 1.5f}},
      {"planar y: u along x, v along z", PROJECTION_PLANAR, AXIS_Y, {}, {1, 1, 1}, {}, 1, 1,
       {{0.5f, 9, -0.5f}, {0, 0, 0}, {-1, 0, 1}}, {1, 0, 0.5f, 0.5f, -0.5f, 1.5f}},
      {"heading 90: the image's x runs along -z", PROJECTION_PLANAR, AXIS_Z, {}, {1, 1, 1}, {PI / 2, 0, 0}, 1, 1,
       {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}}, {1.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1.5f}},
      {"heading then bank 90: the image's x runs along +y", PROJECTION_PLANAR, AXIS_Z, {}, {1, 1, 1},
       {PI / 2, 0, PI / 2}, 1, 1, {{0, 1, 0}, {0, 0, 0}, {0, 0, 1}}, {1.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1.5f}},
      {"pitch 90: the image's y runs along +z", PROJECTION_PLANAR, AXIS_Z, {}, {1, 1, 1}, {0, PI / 2, 0}, 1, 1,
       {{0, 0, 1}, {0, 0, 0}, {0, 1, 0}}, {0.5f, 1.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
      {"cylindrical y: middle faces -z, +x a quarter turn on", PROJECTION_CYLINDRICAL, AXIS_Y, {}, {1, 2, 1}, {}, 1,
       1, {{0, 0, -1}, {1, 1, 0}, {-1, -1, 0}}, {0.5f, 0.5f, 0.75f, 1, 0.25f, 0}},
      {"cylindrical y, two repeats: unwrapped across the seam at +z, the axis point between",
       PROJECTION_CYLINDRICAL, AXIS_Y, {}, {1, 1, 1}, {}, 2, 5, {{0.1f, 0, 1}, {-0.1f, 0, 1}, {0, 1, 0}},
       {2 * (1 - A), 0.5f, 2 * (1 + A), 0.5f, 2, 1.5f}},
      {"cylindrical x", PROJECTION_CYLINDRICAL, AXIS_X, {}, {1, 1, 1}, {}, 1, 1,
       {{0.5f, 0, -1}, {0, -1, 0}, {0, 0, -2}}, {0.5f, 1, 0.75f, 0.5f, 0.5f, 0.5f}},
      {"cylindrical z", PROJECTION_CYLINDRICAL, AXIS_Z, {}, {1, 1, 1}, {}, 1, 1,
       {{0, 1, 0}, {1, 0, 0.5f}, {0, 2, 0}}, {0.5f, 0.5f, 0.75f, 1, 0.5f, 0.5f}},
      {"spherical y: latitude 30 is v 2/3, size plays no part", PROJECTION_SPHERICAL, AXIS_Y, {0, 1, 0}, {5, 5, 5},
       {}, 1, 1, {{0, 2, -1.7320508f}, {1, 1, 0}, {0, 1, -2}}, {0.5f, 2.0f / 3, 0.75f, 0.5f, 0.5f, 0.5f}},
      {"spherical y, two repeats up", PROJECTION_SPHERICAL, AXIS_Y, {}, {1, 1, 1}, {}, 1, 2,
       {{0, 1, -1.7320508f}, {1, 0, 0}, {0, 0, -2}}, {0.5f, 4.0f / 3, 0.75f, 1, 0.5f, 1}},
      {"cubic: a face towards x maps along x", PROJECTION_CUBIC, AXIS_Z, {}, {1, 1, 1}, {}, 1, 1,
       {{1, 0, 0}, {1, 1, 0}, {1, 0, 1}}, {0.5f, 0.5f, 0.5f, 1.5f, 1.5f, 0.5f}},
      {"cubic: a face towards y maps along y", PROJECTION_CUBIC, AXIS_X, {}, {1, 1, 1}, {}, 1, 1,
       {{0, 2, 0}, {1, 2, 0}, {0, 2, 1}}, {0.5f, 0.5f, 1.5f, 0.5f, 0.5f, 1.5f}},
      {"cubic: a tie between x and y goes to x", PROJECTION_CUBIC, AXIS_Z, {}, {1, 1, 1}, {}, 1, 1,
       {{1, 0, 0}, {0, 1, 0}, {0, 1, 1}}, {0.5f, 0.5f, 0.5f, 1.5f, 1.5f, 1.5f}},
  };
  Scene scene;
  for (const Case& c : cases) {
    SceneObject& object = *test::AddMesh(scene, c.p, {{0, 1, 2}});
    Triangle& triangle = object.triangles[0];
    triangle.texCoords[0].cornerU[0] = 7;
    ComputeNormals(object);
    Surface surface;
    TextureLayer& layer = *(surface.layers[1] = std::make_unique<TextureLayer>());
    object.sortedTriangles = {&triangle};
    layer.projection = c.projection, layer.axis = c.axis;
    layer.center = c.center, layer.size = c.size, layer.rotation = c.rotation;
    layer.wrapWidth = c.wrapWidth, layer.wrapHeight = c.wrapHeight;
    const auto project = c.classic ? ProjectPlanar : ProjectLayer;
    project(object, SurfaceBatch{0, 5, &surface}, 1);  // a batch past the triangles is refused
    project(object, SurfaceBatch{0, 1, &surface}, 1);
    const CornerCoords& uv = triangle.texCoords[1];
    for (int k = 0; k < 6; ++k)  // u, v of each corner in turn
      EXPECT_NEAR(k % 2 ? uv.cornerV[k / 2] : uv.cornerU[k / 2], c.uv[k], 1e-5f) << c.what << ", value " << k;
    EXPECT_EQ(triangle.texCoords[0].cornerU[0], 7) << c.what << ": the other layer is left alone";
  }

  Surface surface;  // UV: the named map, corner entries over point entries, else (0, 0); no such map: left as loaded
  TextureLayer& layer = *(surface.layers[1] = std::make_unique<TextureLayer>());
  SceneObject& object = *test::AddMesh(scene, {{}, {}, {}}, {{0, 1, 2}, {0, 1, 2}}, {&surface});
  for (Triangle& t : object.triangles) t.texCoords[1].cornerU[2] = 7;
  object.sortedTriangles = {&object.triangles[1]};  // the batch: triangle 1 only
  object.uvMaps = {{"wanted", {{0, 0.25f, 0.5f}, {1, 0.75f, 1}, {9, 1, 1}}, {{1, 1, 0.125f, 0.375f}}},
                   {"other", {{0, 9, 9}, {1, 9, 9}, {2, 9, 9}}, {}}};
  layer.projection = PROJECTION_UV;
  layer.uvMapName = "nowhere";
  ProjectLayer(object, SurfaceBatch{0, 1, &surface}, 1);
  EXPECT_EQ(object.triangles[1].texCoords[1].cornerU[2], 7);
  layer.uvMapName = "wanted";
  ProjectLayer(object, SurfaceBatch{0, 1, &surface}, 1);
  const CornerCoords& uv = object.triangles[1].texCoords[1];
  EXPECT_EQ((std::vector<float>{uv.cornerU[0], uv.cornerV[0], uv.cornerU[1], uv.cornerV[1], uv.cornerU[2], uv.cornerV[2]}),
            (std::vector<float>{0.25f, 0.5f, 0.125f, 0.375f, 0, 0}));
  EXPECT_EQ(object.triangles[0].texCoords[1].cornerU[2], 7) << "outside the batch";
}

}  // namespace
