// zivi3 --info --channels: one item's motion channels and world position over a range of scene
// times, as CSV, for checking animation against the authoring program without drawing anything.
//
// Columns: time (frames), the nine channel values px py pz h p b sx sy sz (angles in radians), and
// wx wy wz, where the item is in world space (OpenGL's axes: Z negated). Every number is printed
// with "%.6g". Objects show their channel values as the frame update leaves them; cameras their
// position and rotation with scale 1; lights their position and the evaluated rotation and scale
// slots. Cameras and lights are posed without OpenGL, by the same rules the renderer follows (the
// LightWave look's too, when the settings ask for it); a camera aims at its target's position at
// the same time.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/Inspect.h"

namespace {

// A camera's view matrix at time: Rz(-b) Rx(p) Ry(h) T(-x, -y, z), or the look-at matrix
// towards its target. Untouched without a position-x envelope, as in the renderer.
void PoseCamera(Camera& camera, float time, bool lightwave) {
  if (!camera.envelopes[CHANNEL_POSITION_X]) return;
  camera.position = {EvaluateEnvelope(camera.envelopes[0].get(), time, lightwave),
                     EvaluateEnvelope(camera.envelopes[1].get(), time, lightwave),
                     EvaluateEnvelope(camera.envelopes[2].get(), time, lightwave)};
  const Vec3& p = camera.position;
  if (camera.target) {
    // Look-at from (x, y, -z) to the target's (tx, ty, -tz), up +Y.
    const float* t = camera.target->channelValues;
    Vec3 eye{p.x, p.y, -p.z};
    Vec3 forward = Normalize(Vec3{t[0] - eye.x, t[1] - eye.y, -t[2] - eye.z});
    Vec3 side = Normalize(Cross(forward, Vec3{0, 1, 0}));
    Vec3 up = Cross(side, forward);
    Matrix4 m;
    const Vec3 rows[3] = {side, up, Vec3{-forward.x, -forward.y, -forward.z}};
    for (int r = 0; r < 3; ++r) {
      m.m[r] = rows[r].x;
      m.m[4 + r] = rows[r].y;
      m.m[8 + r] = rows[r].z;
      m.m[12 + r] = -(rows[r].x * eye.x + rows[r].y * eye.y + rows[r].z * eye.z);
    }
    camera.localMatrix = m;
    return;
  }
  camera.rotation = {EvaluateEnvelope(camera.envelopes[3].get(), time, lightwave),
                     EvaluateEnvelope(camera.envelopes[4].get(), time, lightwave),
                     EvaluateEnvelope(camera.envelopes[5].get(), time, lightwave)};
  Matrix4 m = Translation(-p.x, -p.y, p.z);
  RotateY(m, camera.rotation.x);
  RotateX(m, camera.rotation.y);
  RotateZ(m, -camera.rotation.z);
  camera.localMatrix = m;
}

// A light's own translation (x, y, -z) at time, turned by its rotation with the LightWave look;
// untouched without a position-x envelope.
void PoseLight(Light& light, float time, bool lightwave) {
  if (!light.envelopes[CHANNEL_POSITION_X]) return;
  float channels[9] = {0, 0, 0, 0, 0, 0, 1, 1, 1};
  for (uint32_t slot = CHANNEL_POSITION_X; slot <= CHANNEL_BANK; ++slot)
    channels[slot] = EvaluateEnvelope(light.envelopes[slot].get(), time, lightwave);
  light.position = {channels[0], channels[1], channels[2]};
  light.localMatrix = lightwave ? LightWaveLocalMatrix(channels, Vec3{})
                                : Translation(light.position.x, light.position.y, -light.position.z);
}

// Where a view matrix puts the eye: -R⁻¹ t, with R the matrix's upper 3×3 and t its translation.
Vec3 EyeOf(const Matrix4& view) {
  const float* m = view.m;
  // Columns of R: a, b, c; R⁻¹ = adjugate / determinant, whose rows are b×c, c×a, a×b.
  Vec3 a{m[0], m[1], m[2]}, b{m[4], m[5], m[6]}, c{m[8], m[9], m[10]};
  Vec3 bc = Cross(b, c), ca = Cross(c, a), ab = Cross(a, b);
  float determinant = a.x * bc.x + a.y * bc.y + a.z * bc.z;
  Vec3 t{m[12], m[13], m[14]};
  auto dot = [](const Vec3& u, const Vec3& v) { return u.x * v.x + u.y * v.y + u.z * v.z; };
  return Vec3{-dot(bc, t) / determinant, -dot(ca, t) / determinant, -dot(ab, t) / determinant};
}

struct ItemChoice {
  SceneObject* object = nullptr;
  Camera* camera = nullptr;
  Light* light = nullptr;
};

// A whole number of digits only.
bool ParseIndex(const char* text, uint32_t& index) {
  size_t length = std::strlen(text);
  if (length == 0 || length > 9 || std::strspn(text, "0123456789") != length) return false;
  index = uint32_t(std::strtoul(text, nullptr, 10));
  return true;
}

// The item ITEM names: an object's item number, camera:N, light:N, or a name (an object's item,
// layer or file name, then a camera's, then a light's; the first match).
ItemChoice FindItem(const Scene& scene, const std::string& item) {
  ItemChoice choice;
  uint32_t index;
  if (ParseIndex(item.c_str(), index)) {
    choice.object = scene.FindObjectByIndex(index);
    return choice;
  }
  if (item.rfind("camera:", 0) == 0 && ParseIndex(item.c_str() + 7, index)) {
    choice.camera = scene.FindCameraByIndex(index);
    return choice;
  }
  if (item.rfind("light:", 0) == 0 && ParseIndex(item.c_str() + 6, index)) {
    choice.light = scene.FindLightByIndex(index);
    return choice;
  }
  for (const auto& o : scene.objects) {
    if (o->itemName == item || o->layerName == item || o->fileName == item) {
      choice.object = o.get();
      return choice;
    }
  }
  for (const auto& c : scene.cameras) {
    if (c->name == item) {
      choice.camera = c.get();
      return choice;
    }
  }
  for (const auto& l : scene.lights) {
    if (l->name == item) {
      choice.light = l.get();
      return choice;
    }
  }
  return choice;
}

// Brings every item to time (objects first, so that a camera aims at its target's position at
// the same time), then the chosen item's world matrix; returns its 12 values after the time.
void Evaluate(Scene& scene, const ItemChoice& choice, float time, float values[12]) {
  const bool lightwave = LightWaveLook(&scene);
  for (auto& object : scene.objects) UpdateObject(object.get(), time);
  for (auto& light : scene.lights) PoseLight(*light, time, lightwave);
  for (auto& camera : scene.cameras) PoseCamera(*camera, time, lightwave);

  if (SceneObject* o = choice.object) {
    UpdateObjectWorld(o);
    std::memcpy(values, o->channelValues, 9 * sizeof(float));
    std::memcpy(values + 9, &o->worldMatrix.m[12], 3 * sizeof(float));
  } else if (Camera* c = choice.camera) {
    UpdateCameraWorld(c);
    const float camera[9] = {
        c->position.x, c->position.y, c->position.z, c->rotation.x, c->rotation.y, c->rotation.z, 1, 1, 1};
    std::memcpy(values, camera, sizeof camera);
    Vec3 eye = EyeOf(c->worldMatrix);
    values[9] = eye.x;
    values[10] = eye.y;
    values[11] = eye.z;
  } else if (Light* l = choice.light) {
    UpdateLightWorld(l);
    values[0] = l->position.x;
    values[1] = l->position.y;
    values[2] = l->position.z;
    for (uint32_t slot = CHANNEL_HEADING; slot <= CHANNEL_SCALE_Z; ++slot) {
      values[slot] = EvaluateEnvelope(l->envelopes[slot].get(), time, lightwave);
    }
    std::memcpy(values + 9, &l->worldMatrix.m[12], 3 * sizeof(float));
  }
}

}  // namespace

int RunChannels(const RunOptions& options, std::FILE* out, std::FILE* err) {
  // The command line refuses these already; options may come from elsewhere.
  const double span = double(options.to) - double(options.from);
  if (!(options.step > 0) || !(span >= 0) || span / options.step >= CHANNEL_ROWS_MAX) {
    std::fprintf(err, "zivi3: the range --from %g --to %g --step %g gives no rows or too many\n", double(options.from),
                 double(options.to), double(options.step));
    return EXIT_USAGE;
  }
  Inspection inspection;
  // The channels need no precalculation: only what the scene file and the objects hold.
  if (!InspectScene(options, false, inspection)) {
    std::fprintf(err, "zivi3: %s\n", inspection.why.c_str());
    for (const Problem& problem : inspection.problems) std::fprintf(err, "  %s\n", problem.text.c_str());
    return EXIT_SCENE_FAILED;
  }
  const ItemChoice choice = FindItem(inspection.scene, options.channelItem);
  if (!choice.object && !choice.camera && !choice.light) {
    std::fprintf(err,
                 "zivi3: the scene has no item '%s' (give an object's item number, camera:N, light:N or a "
                 "name; --info lists them)\n",
                 options.channelItem.c_str());
    return EXIT_SCENE_FAILED;
  }

  // Times are from + i * step, so rounding does not add up along a long range.
  const uint64_t rows = uint64_t(std::floor(span / options.step + 1e-9)) + 1;
  std::fprintf(out, "time,px,py,pz,h,p,b,sx,sy,sz,wx,wy,wz\n");
  for (uint64_t i = 0; i < rows; ++i) {
    const float time = float(double(options.from) + double(i) * options.step);
    float values[12] = {};
    Evaluate(inspection.scene, choice, time, values);
    // Adding 0 turns -0 (a negated zero Z) into 0.
    std::fprintf(out, "%.6g", double(time) + 0.0);
    for (float value : values) std::fprintf(out, ",%.6g", double(value) + 0.0);
    std::fputc('\n', out);
  }
  std::fflush(out);
  return 0;
}
