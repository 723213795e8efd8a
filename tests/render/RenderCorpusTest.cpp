// Real scenes from the corpus, with polygons triangulated: every frame renders without a GL
// error and shows something; the earth objects show their globes in the LightWave look.
#include "render/RenderFixture.h"

#include "textures/Textures.h"

#include <filesystem>
#include <set>

namespace render_test {
namespace {

using RenderCorpus = RenderFixture;

TEST_F(RenderCorpus, RealScenesRenderWithoutGlErrors) {
  SKIP_WITHOUT_CORPUS();
  const std::filesystem::path folder = std::filesystem::path(test::CorpusDir()) / "lightwave" / "scenes";
  Settings settings = system.settings;
  settings.triangulate = true;
  settings.widescreen = 1;  // as the player starts
  system.ApplySettings(settings);
  test::MessageCapture quiet;

  size_t scenes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".lws") continue;
    const std::string name = entry.path().filename().string();
    NewScene();
    Vfs vfs;
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, folder.string().c_str()));
    ASSERT_TRUE(scene->Load(&vfs, name.c_str())) << name;
    scene->Precalc(&vfs);
    precalculated = true;
    ASSERT_NE(scene->activeCamera, nullptr) << name;
    for (float time : {0.0f, 10.5f, 30.0f, scene->lastFrame}) {
      Image image = Render(time);  // checks glGetError
      EXPECT_GT(FindBlob(image).count, 100u) << name << " at " << time;
    }
    ++scenes;
  }
  EXPECT_GE(scenes, 8u);
}

// The earth objects, mapped by projections the classic look doesn't compute, show a globe of
// many colours in the LightWave look, where the classic look paints one texel all over.
TEST_F(RenderCorpus, TheEarthObjectsShowTheirGlobesInTheLightWaveLook) {
  SKIP_WITHOUT_CORPUS();
  const std::string folder = test::CorpusDir() + "/lightwave/mapping";
  test::MessageCapture quiet;
  const struct {
    const char* file;
    bool lightwave;
  } cases[] = {{"earth_spherical_y.lwo", true},
               {"earth_cylindrical_y.lwo", true},
               {"earth_cylindrical_x_scale_222_wrap_21.lwo", true},
               {"earth_uv_cylindrical_y.lwo", true},
               {"earth_spherical_y.lwo", false}};
  for (const auto& c : cases) {
    NewScene();
    Settings settings = system.settings;
    settings.triangulate = true;
    settings.lightwave = c.lightwave;
    system.ApplySettings(settings);
    Vfs vfs;
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, folder.c_str()));
    AddCamera();
    ASSERT_TRUE(LwoLoader::Load(*scene, vfs, c.file)) << c.file;
    SceneObject* globe = scene->objects.back().get();
    globe->flags |= OBJECT_UNLIT;
    Place(globe, {0.55f, -0.2f, 9});  // its middle 9 ahead
    Precalculate();
    system.textureCache.AddScene(scene.get());
    system.textureCache.Load(&vfs);
    const Image image = Render(0);
    system.textureCache.Free();
    std::set<std::vector<int>> colours;
    for (uint32_t y = 0; y < HEIGHT; ++y)
      for (uint32_t x = 0; x < WIDTH; ++x) colours.insert({image.R(x, y), image.G(x, y), image.B(x, y)});
    EXPECT_EQ(colours.size() > 1000, c.lightwave) << c.file << " shows " << colours.size() << " colours";
  }
}

}  // namespace
}  // namespace render_test
