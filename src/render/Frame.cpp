// One frame of a scene: the order in which animated values are brought up to the time, the
// camera, projection and lights, the two passes over the drawables, the trail effect and the
// action call sites.
#include "render/Render.h"

#include "lightwave/Lightwave.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace {

// Vertical field of view and near plane of every camera. The far plane is negative on purpose:
// passed to the perspective as it is, depth then grows with distance without ever reaching the
// far clip, so nothing is cut off for being far away.
constexpr double NEAR_PLANE = 0.1;
constexpr double FAR_PLANE = -1.0;
constexpr float DEGREES = 3.14159265f / 180.0f;

// lightIndex 0-6 are GL_LIGHT1-GL_LIGHT7; GL_LIGHT0 stays unused.
constexpr uint32_t GL_LIGHT_COUNT = 7;

// The trail: five copies at the five frames before the time, fading in towards the present.
constexpr int TRAIL_COPIES = 5;
constexpr float TRAIL_FIRST_OPACITY = 0.02f;
constexpr float TRAIL_OPACITY_STEP = 0.016393442f;  // 1/61

bool HasPosition(const std::unique_ptr<Envelope>* envelopes) { return envelopes[CHANNEL_POSITION_X] != nullptr; }

// Channels and local matrices of every item, then their world matrices, then the surfaces.
// A full frame updates the camera first, so a camera aiming at a target reads the target's
// channels from the previous frame; a frame from another camera updates it after the objects.
void Update(Scene& scene, float time, Camera* camera, bool fullFrame) {
  if (fullFrame) UpdateCamera(camera, time);
  for (const auto& light : scene.lights) UpdateLight(light.get(), time);
  for (const auto& object : scene.objects) UpdateObject(object.get(), time);
  if (!fullFrame) UpdateCamera(camera, time);
  // Every local matrix of the frame exists before any world matrix combines them.
  if (fullFrame) UpdateCameraWorld(camera);
  for (const auto& light : scene.lights) UpdateLightWorld(light.get());
  for (const auto& object : scene.objects) UpdateObjectWorld(object.get());
  if (!fullFrame) UpdateCameraWorld(camera);
  for (const auto& surface : scene.surfaces) UpdateSurface(surface.get(), time);
}

// GL's own global ambient, which the classic look keeps.
constexpr GLfloat CLASSIC_AMBIENT[4] = {0.2f, 0.2f, 0.2f, 1};

// Lights, and the global ambient: GL's default in the classic look, the scene's colour ×
// intensity in LightWave's.
void ApplyLights(const Scene& scene, float time) {
  if (LightWaveLook(&scene)) {
    const float intensity = scene.ambientIntensityEnvelope
                                ? EvaluateEnvelope(scene.ambientIntensityEnvelope.get(), time, true)
                                : scene.ambientIntensity;
    const Vec3& c = scene.ambientColor;
    const GLfloat ambient[4] = {c.x * intensity, c.y * intensity, c.z * intensity, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  } else {
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, CLASSIC_AMBIENT);
  }
  for (const auto& light : scene.lights) ApplyLight(light.get());
}

// The value of an animated parameter at time, or its plain value without an envelope.
float Parameter(const std::unique_ptr<Envelope>& envelope, float time, float plain) {
  return envelope ? EvaluateEnvelope(envelope.get(), time, true) : plain;
}

// A light as LightWave defines it: a distant light shines along its own +Z, whatever its
// position; point, linear and area lights shine from their position in every direction; a spot
// light along its +Z inside its cone, fading over the cone's soft edge. Colour × intensity;
// falloff over the range where GL has it exactly (r/d, (r/d)²), linear falloff approximated.
void ApplyLightWaveLight(const Light* light, GLenum id) {
  GLfloat constant = 1, linear = 0, quadratic = 0;
  if (light->type != LIGHT_TYPE_DISTANT && light->range > 0) {
    switch (light->falloff) {
      case 1:  // max(0, 1 − d/r) has no GL form: half strength at half the range, a fifth at the range
        quadratic = 4 / (light->range * light->range);
        break;
      case 2:
        constant = 0;
        linear = 1 / light->range;
        break;
      case 3:
        constant = 0;
        quadratic = 1 / (light->range * light->range);
        break;
      default:
        break;
    }
  }
  glLightf(id, GL_CONSTANT_ATTENUATION, constant);
  glLightf(id, GL_LINEAR_ATTENUATION, linear);
  glLightf(id, GL_QUADRATIC_ATTENUATION, quadratic);

  // In the light's own GL space its +Z (LightWave's) is −Z; the world matrix turns it.
  const GLfloat towardsLight[4] = {0, 0, 1, 0}, origin[4] = {0, 0, 0, 1}, along[3] = {0, 0, -1};
  glLightfv(id, GL_POSITION, light->type == LIGHT_TYPE_DISTANT ? towardsLight : origin);
  if (light->type == LIGHT_TYPE_SPOT) {
    const float cone = std::clamp(light->coneAngle, 0.0f, 90.0f);
    const float edge = std::clamp(light->edgeAngle, 0.0f, cone);
    // Half strength halfway through the edge: cos^e(cone − edge/2) = ½.
    const float halfway = std::cos((cone - edge / 2) * DEGREES);
    const float exponent = edge > 0 && halfway < 1 ? std::clamp(std::log(0.5f) / std::log(halfway), 0.0f, 128.0f) : 0;
    glLightfv(id, GL_SPOT_DIRECTION, along);
    glLightf(id, GL_SPOT_CUTOFF, cone);
    glLightf(id, GL_SPOT_EXPONENT, exponent);
  } else {
    glLightf(id, GL_SPOT_CUTOFF, 180);
  }
  const float i = light->intensity;
  const GLfloat diffuse[4] = {light->color.x * i, light->color.y * i, light->color.z * i, 1};
  glLightfv(id, GL_DIFFUSE, diffuse);
}

void DrawOpaquePass(Scene& scene, float time) {
  for (SceneObject* object : scene.drawables) {
    if (object->flags & OBJECT_DYNAMIC) UpdateDynamicObject(*object, time);
    DrawOpaque(object);
  }
}

}  // namespace

void SetupRenderState() {
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glEnable(GL_LIGHTING);
  glEnable(GL_NORMALIZE);
  glDisable(GL_COLOR_MATERIAL);
  // Frames enable the scene's lights and never switch them off; a fresh start has none on.
  for (GLenum light = GL_LIGHT0; light < GL_LIGHT0 + 1 + GL_LIGHT_COUNT; ++light) glDisable(light);
}

void SetupCameraViewport(Camera* camera, Engine* system) {
  if (!camera || !system) return;
  const Settings& settings = system->settings;
  camera->system = system;
  camera->fieldOfView = CAMERA_FIELD_OF_VIEW;
  camera->viewportWidth = settings.width;
  GLint bottom = 0;
  if (settings.widescreen) {
    camera->viewportHeight = uint32_t(system->widescreenHeight);
    bottom = (GLint(settings.height) - GLint(camera->viewportHeight)) / 2;
  } else {
    camera->viewportHeight = settings.height;
  }
  // A zero height would make the aspect infinite; the projection then refuses to build.
  camera->aspect = camera->viewportHeight ? float(camera->viewportWidth) / float(camera->viewportHeight) : 0.0f;
  glViewport(0, bottom, GLsizei(camera->viewportWidth), GLsizei(camera->viewportHeight));
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void SetupViewports(Scene& scene) {
  for (const auto& camera : scene.cameras) SetupCameraViewport(camera.get(), scene.system);
}

void UpdateCamera(Camera* camera, float time) {
  if (!camera) return;
  const bool lightwave = LightWaveLook(camera->scene);
  if (lightwave) {
    // The image is 2 units high at the zoom factor's distance.
    const float zoom = Parameter(camera->zoomEnvelope, time, camera->zoomFactor);
    if (zoom > 0 && std::isfinite(zoom)) camera->fieldOfView = 2 * std::atan(1 / zoom) / DEGREES;
  }
  if (!HasPosition(camera->envelopes)) return;
  Vec3& p = camera->position;
  p.x = EvaluateEnvelope(camera->envelopes[CHANNEL_POSITION_X].get(), time, lightwave);
  p.y = EvaluateEnvelope(camera->envelopes[CHANNEL_POSITION_Y].get(), time, lightwave);
  p.z = EvaluateEnvelope(camera->envelopes[CHANNEL_POSITION_Z].get(), time, lightwave);

  if (const SceneObject* target = camera->target) {
    const float* t = target->channelValues;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(p.x, p.y, -p.z, t[CHANNEL_POSITION_X], t[CHANNEL_POSITION_Y], -t[CHANNEL_POSITION_Z], 0, 1, 0);
    glGetFloatv(GL_MODELVIEW_MATRIX, camera->localMatrix.m);
    return;
  }

  Vec3& r = camera->rotation;
  r.x = EvaluateEnvelope(camera->envelopes[CHANNEL_HEADING].get(), time, lightwave);
  r.y = EvaluateEnvelope(camera->envelopes[CHANNEL_PITCH].get(), time, lightwave);
  r.z = EvaluateEnvelope(camera->envelopes[CHANNEL_BANK].get(), time, lightwave);
  // The inverse of the camera's placement: undo the position, then the heading, the pitch and
  // the bank in turn.
  Matrix4 view = Translation(-p.x, -p.y, p.z);
  RotateY(view, r.x);
  RotateX(view, r.y);
  RotateZ(view, -r.z);
  camera->localMatrix = view;
}

void ApplyProjection(const Camera* camera) {
  if (!camera) return;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(camera->fieldOfView, camera->aspect, NEAR_PLANE, FAR_PLANE);
  glMultMatrixf(camera->worldMatrix.m);
}

void UpdateLight(Light* light, float time) {
  if (!light) return;
  const bool lightwave = LightWaveLook(light->scene);
  if (lightwave) {
    light->intensity = Parameter(light->intensityEnvelope, time, light->intensity);
    light->range = Parameter(light->rangeEnvelope, time, light->range);
    light->coneAngle = Parameter(light->coneAngleEnvelope, time, light->coneAngle);
    light->edgeAngle = Parameter(light->edgeAngleEnvelope, time, light->edgeAngle);
  }
  if (!HasPosition(light->envelopes)) return;
  Vec3& p = light->position;
  p.x = EvaluateEnvelope(light->envelopes[CHANNEL_POSITION_X].get(), time, lightwave);
  p.y = EvaluateEnvelope(light->envelopes[CHANNEL_POSITION_Y].get(), time, lightwave);
  p.z = EvaluateEnvelope(light->envelopes[CHANNEL_POSITION_Z].get(), time, lightwave);
  if (!lightwave) {
    light->localMatrix = Translation(p.x, p.y, -p.z);
    return;
  }
  // Turned as an object is (direction matters for distant and spot lights), never scaled.
  Vec3& r = light->rotation;
  r.x = EvaluateEnvelope(light->envelopes[CHANNEL_HEADING].get(), time, true);
  r.y = EvaluateEnvelope(light->envelopes[CHANNEL_PITCH].get(), time, true);
  r.z = EvaluateEnvelope(light->envelopes[CHANNEL_BANK].get(), time, true);
  const float channels[9] = {p.x, p.y, p.z, r.x, r.y, r.z, 1, 1, 1};
  light->localMatrix = LightWaveLocalMatrix(channels, Vec3{});
}

void ApplyLight(const Light* light) {
  if (!light || light->lightIndex >= GL_LIGHT_COUNT) return;
  const GLenum id = GL_LIGHT1 + light->lightIndex;
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(light->worldMatrix.m);
  if (LightWaveLook(light->scene)) {
    ApplyLightWaveLight(light, id);
    glEnable(id);
    return;
  }

  // Falloff 1 is linear over half the range, 2 and 3 quadratic over it. A range that isn't
  // positive would give an infinite or negative factor: such a light, like an unknown falloff,
  // is not attenuated.
  GLfloat constant = 1, linear = 0, quadratic = 0;
  if (light->range > 0) {
    if (light->falloff == 1) {
      constant = 0;
      linear = 1.0f / (light->range * 0.5f);
    } else if (light->falloff == 2 || light->falloff == 3) {
      constant = 0;
      quadratic = 1.0f / light->range;
    }
  }
  glLightf(id, GL_CONSTANT_ATTENUATION, constant);
  glLightf(id, GL_LINEAR_ATTENUATION, linear);
  glLightf(id, GL_QUADRATIC_ATTENUATION, quadratic);

  if (light->kind == LIGHT_DISTANT) {
    // Shines from the direction of its position vector; parents play no part.
    glLoadIdentity();
    const GLfloat direction[4] = {light->position.x, light->position.y, -light->position.z, 0};
    glLightfv(id, GL_POSITION, direction);
  } else {
    const GLfloat origin[4] = {0, 0, 0, 1};
    glLightfv(id, GL_POSITION, origin);
  }
  const GLfloat diffuse[4] = {light->color.x, light->color.y, light->color.z, 1};
  glLightfv(id, GL_DIFFUSE, diffuse);
  glLightf(id, GL_SPOT_CUTOFF, 180);  // GL's default: no spot, whatever drew with this light before
  glEnable(id);
}

void DrawTrail(SceneObject* object, float time) {
  if (!object) return;
  for (int i = 0; i < TRAIL_COPIES; ++i) {
    const float copyTime = time - float(TRAIL_COPIES) + float(i);
    const float opacity = TRAIL_FIRST_OPACITY + float(i) * TRAIL_OPACITY_STEP;
    UpdateObject(object, copyTime);
    UpdateObjectWorld(object);
    for (const SurfaceBatch& batch : object->surfaceBatches)
      if (batch.surface) batch.surface->transparency = 1 - opacity;
    DrawTransparent(object);
  }
  // Not restored: the surfaces end opaque until an envelope says otherwise.
  for (const SurfaceBatch& batch : object->surfaceBatches)
    if (batch.surface) batch.surface->transparency = 0;
}

// Null objects get their Render from the actions module; until a null carries one there is
// nothing to call.
void RenderAction(SceneObject* object, float time) {
  if (object->action) object->action->Render(object, time);
}

void Scene::RenderFrame(float time) {
  Camera* camera = activeCamera;
  if (!camera) return;  // nothing to render from; the precalculation has said so
  Update(*this, time, camera, true);
  for (SceneObject* object : preSceneActions) RenderAction(object, time);
  ApplyProjection(camera);
  ApplyLights(*this, time);
  DrawOpaquePass(*this, time);
  glDepthMask(GL_FALSE);
  for (SceneObject* object : drawables) {
    DrawTransparent(object);
    if (object->flags & OBJECT_TRAIL) DrawTrail(object, time);
  }
  glDepthMask(GL_TRUE);
  for (SceneObject* object : postSceneActions) RenderAction(object, time);
}

void Scene::AdvanceFrame(float time) {
  Camera* camera = activeCamera;
  if (!camera) return;
  Update(*this, time, camera, true);
  for (SceneObject* object : preSceneActions)
    if (object->action) object->action->Advance(object, time);
  for (SceneObject* object : drawables) {
    // A point cache's vertices stay where the last frame inside its range put them.
    if (object->flags & OBJECT_DYNAMIC) UpdateDynamicObject(*object, time);
    if (object->flags & OBJECT_TRAIL) {
      // The trail's last copy leaves the object a frame back and its surfaces opaque.
      UpdateObject(object, time - 1);
      UpdateObjectWorld(object);
      for (const SurfaceBatch& batch : object->surfaceBatches)
        if (batch.surface) batch.surface->transparency = 0;
    }
  }
  for (SceneObject* object : postSceneActions)
    if (object->action) object->action->Advance(object, time);
}

void Scene::RenderFrameFromCamera(float time, Camera* camera) {
  if (!camera) return;
  Camera* saved = activeCamera;
  activeCamera = camera;
  Update(*this, time, camera, false);
  ApplyProjection(camera);
  ApplyLights(*this, time);
  DrawOpaquePass(*this, time);
  glDepthMask(GL_FALSE);
  for (SceneObject* object : drawables) DrawTransparent(object);
  glDepthMask(GL_TRUE);
  activeCamera = saved;
}
