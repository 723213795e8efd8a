// Real objects from the corpus, with polygons triangulated.
#include "render/RenderFixture.h"

#include "textures/Textures.h"

#include <set>

namespace render_test {
namespace {

class RenderCorpus : public RenderFixture {
 protected:
  void Mount(const std::string& folder, bool lightwave) {
    NewScene();
    Settings settings = system.settings;
    settings.triangulate = true;
    settings.lightwave = lightwave;
    system.ApplySettings(settings);
    vfs.Close();
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, (test::CorpusDir() + folder).c_str()));
  }
  Vfs vfs;
  test::MessageCapture quiet;
};

// Mapped by projections the classic look doesn't compute, the earth objects show a globe of many
// colours in the LightWave look; the classic look paints one texel all over.
TEST_F(RenderCorpus, TheEarthObjectsShowTheirGlobesInTheLightWaveLook) {
  SKIP_WITHOUT_CORPUS();
  const struct {
    const char* file;
    bool lightwave;
  } cases[] = {{"earth_spherical_y.lwo", true},
               {"earth_cylindrical_y.lwo", true},
               {"earth_cylindrical_x_scale_222_wrap_21.lwo", true},
               {"earth_uv_cylindrical_y.lwo", true},
               {"earth_spherical_y.lwo", false}};
  for (const auto& c : cases) {
    Mount("/lightwave/mapping", c.lightwave);
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
      for (uint32_t x = 0; x < WIDTH; ++x) colours.insert(image.Rgb(float(x), float(y)));
    EXPECT_EQ(colours.size() > 1000, c.lightwave) << c.file << " shows " << colours.size() << " colours";
  }
}

}  // namespace
}  // namespace render_test
