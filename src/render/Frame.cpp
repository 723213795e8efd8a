// One frame of a scene: the order in which animated values are brought up to the time, the
// camera, projection and lights, the two passes over the drawables, the trail effect and the
// action call sites.
#include "render/Render.h"

#include "actions/Actions.h"
#include "app/System.h"
#include "lightwave/Lightwave.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

// Vertical field of view and near plane of every camera. The far plane is negative on purpose:
// passed to the perspective as it is, depth then grows with distance without ever reaching the
// far clip, so nothing is cut off for being far away.
constexpr double NEAR_PLANE = 0.1;
constexpr double FAR_PLANE = -1.0;

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
  for (const auto& surface : scene.surfaces) UpdateSurface(surface.get(), time, LightWaveLook(&scene));
}

void ApplyLights(const Scene& scene) {
  for (const auto& light : scene.lights) ApplyLight(light.get());
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

void SetupCameraViewport(Camera* camera, System* system) {
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
  if (!camera || !HasPosition(camera->envelopes)) return;
  Vec3& p = camera->position;
  p.x = EvaluateEnvelope(camera->envelopes[CHANNEL_POSITION_X].get(), time);
  p.y = EvaluateEnvelope(camera->envelopes[CHANNEL_POSITION_Y].get(), time);
  p.z = EvaluateEnvelope(camera->envelopes[CHANNEL_POSITION_Z].get(), time);

  if (const SceneObject* target = camera->target) {
    const float* t = target->channelValues;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(p.x, p.y, -p.z, t[CHANNEL_POSITION_X], t[CHANNEL_POSITION_Y], -t[CHANNEL_POSITION_Z], 0, 1, 0);
    glGetFloatv(GL_MODELVIEW_MATRIX, camera->localMatrix.m);
    return;
  }

  Vec3& r = camera->rotation;
  r.x = EvaluateEnvelope(camera->envelopes[CHANNEL_HEADING].get(), time);
  r.y = EvaluateEnvelope(camera->envelopes[CHANNEL_PITCH].get(), time);
  r.z = EvaluateEnvelope(camera->envelopes[CHANNEL_BANK].get(), time);
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
  if (!light || !HasPosition(light->envelopes)) return;
  Vec3& p = light->position;
  p.x = EvaluateEnvelope(light->envelopes[CHANNEL_POSITION_X].get(), time);
  p.y = EvaluateEnvelope(light->envelopes[CHANNEL_POSITION_Y].get(), time);
  p.z = EvaluateEnvelope(light->envelopes[CHANNEL_POSITION_Z].get(), time);
  light->localMatrix = Translation(p.x, p.y, -p.z);
}

void ApplyLight(const Light* light) {
  if (!light || light->lightIndex >= GL_LIGHT_COUNT) return;
  const GLenum id = GL_LIGHT1 + light->lightIndex;
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(light->worldMatrix.m);

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
  ApplyLights(*this);
  DrawOpaquePass(*this, time);
  glDepthMask(GL_FALSE);
  for (SceneObject* object : drawables) {
    DrawTransparent(object);
    if (object->flags & OBJECT_TRAIL) DrawTrail(object, time);
  }
  glDepthMask(GL_TRUE);
  for (SceneObject* object : postSceneActions) RenderAction(object, time);
}

void Scene::RenderFrameFromCamera(float time, Camera* camera) {
  if (!camera) return;
  Camera* saved = activeCamera;
  activeCamera = camera;
  Update(*this, time, camera, false);
  ApplyProjection(camera);
  ApplyLights(*this);
  DrawOpaquePass(*this, time);
  glDepthMask(GL_FALSE);
  for (SceneObject* object : drawables) DrawTransparent(object);
  glDepthMask(GL_TRUE);
  activeCamera = saved;
}
