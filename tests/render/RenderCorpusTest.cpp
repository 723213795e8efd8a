// Real scenes from the corpus, with polygons triangulated: every frame renders without a GL
// error and shows something.
#include "render/RenderFixture.h"

#include <filesystem>

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

}  // namespace
}  // namespace render_test
