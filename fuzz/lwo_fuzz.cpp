// Loads arbitrary bytes as an LWO2 object, plainly and triangulated: corners name loaded points, surfaces
// are the scene's. Then the planar projection, and triangulated the LightWave look's whole precalculation.
#include "FuzzFile.h"
#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "scene/Scene.h"

namespace {

void CheckAndProject(Scene& scene) {
  for (const auto& object : scene.objects) {
    for (Triangle& triangle : object->triangles) {
      for (uint32_t corner : triangle.cornerIndex) {
        if (corner >= object->baseVertices.size()) std::abort();
      }
      bool known = triangle.surface == nullptr;
      for (const auto& surface : scene.surfaces) known = known || surface.get() == triangle.surface;
      if (!known) std::abort();
      object->sortedTriangles.push_back(&triangle);
    }
    for (const auto& surface : scene.surfaces) {
      SurfaceBatch batch{0, uint32_t(object->sortedTriangles.size()), surface.get()};
      ProjectPlanar(*object, batch, 0);
      ProjectPlanar(*object, batch, 1);
    }
    if (LightWaveLook(&scene)) PrecalcObject(*object, nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietMessages();
  const auto file = FuzzFile("fuzz.lwo", data, size);
  for (bool triangulate : {false, true}) {
    System system;
    system.settings.triangulate = triangulate;
    system.settings.lightwave = triangulate;
    Scene scene;
    scene.AttachToSystem(&system);
    LwoLoader loader;
    loader.Load(file.get(), &scene);
    CheckAndProject(scene);
  }
  return 0;
}
