// The visual actions that draw over or into the frame: the camera cut (ACTCAM), the full-screen
// fade (ACTFADE), the image sequence (ACTBAMM) and the picture-in-picture texture (ACTPIP).
// Immediate-mode OpenGL 1.1 on the thread whose context is current.
#include "actions/Actions.h"

#include "actions/ActionsInternal.h"
#include "log/Log.h"
#include "render/Render.h"
#include "textures/Textures.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

// ---- CameraAction ----

bool CameraAction::Create(const char*, Vfs*, Scene* scene) {
  this->scene = scene;
  return scene != nullptr;
}

void CameraAction::Render(SceneObject* owner, float) {
  if (!created) return;
  const int64_t number = actions::Truncate(owner->channelValues[CHANNEL_SCALE_X]);
  // The frame is drawn already: the cut shows from the next frame on.
  if (number >= 1 && uint64_t(number) <= scene->cameras.size()) scene->activeCamera = scene->cameras[number - 1].get();
}

// ---- FadeAction ----

bool FadeAction::Create(const char* params, Vfs*, Scene*) {
  std::sscanf(params, "%i %i %i", &red, &green, &blue);
  return true;
}

void FadeAction::Render(SceneObject* owner, float) {
  if (!created) return;
  const float opacity = owner->channelValues[CHANNEL_POSITION_X];
  if (opacity == 0.0f) return;
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glScalef(2, 2, 1);  // the unit quad then covers the whole viewport
  const float colour[4] = {float(uint32_t(red)) / 255.0f, float(uint32_t(green)) / 255.0f,
                           float(uint32_t(blue)) / 255.0f, opacity};
  glColor4fv(colour);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, colour);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glBegin(GL_QUADS);
  glVertex3f(-0.5f, 0.5f, 0);
  glVertex3f(-0.5f, -0.5f, 0);
  glVertex3f(0.5f, -0.5f, 0);
  glVertex3f(0.5f, 0.5f, 0);
  glEnd();
  glEnable(GL_LIGHTING);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
}

// ---- BitmapAnimAction ----

namespace {

// Cuts a pattern at its first '#': the prefix before it, the suffix from three characters on
// (the '#' and two more make room for the number). Without '#' the whole pattern is the prefix.
void SplitPattern(const char* pattern, std::string* prefix, std::string* suffix) {
  const std::string text = pattern;
  const size_t hash = text.find('#');
  if (hash == std::string::npos) {
    *prefix = text;
    suffix->clear();
    return;
  }
  *prefix = text.substr(0, hash);
  *suffix = text.substr(std::min(hash + 3, text.size()));  // a short tail ends the name there
}

void NameFrames(const char* pattern, std::vector<BitmapAnimAction::Frame>& frames, Engine* system) {
  std::string prefix, suffix;
  SplitPattern(pattern, &prefix, &suffix);
  for (size_t i = 0; i < frames.size(); ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%.3i", int(i + 1));
    frames[i].name = prefix + number + suffix;
    if (system && system->textures) system->textures->AddReference(frames[i].name.c_str());
  }
}

std::unique_ptr<TextureLayer> ImageLayer(const std::string& name, uint8_t channel) {
  auto layer = std::make_unique<TextureLayer>();
  layer->imageName = name;
  layer->channel = channel;
  return layer;
}

}  // namespace

bool BitmapAnimAction::Create(const char* params, Vfs*, Scene* scene) {
  // The blank after the name is skipped; an empty parameter text has none to skip.
  const char* text = *params ? params + 1 : params;
  char colourPattern[128] = {}, alphaPattern[128] = {};
  std::sscanf(text, "%127s %127s %i %f", colourPattern, alphaPattern, &frameCount, &spriteScale);
  if (frameCount < 0) frameCount = 0;
  if (frameCount > BITMAP_FRAMES_MAX) {
    Log(1, "NULL(BitmapAnimAction) - %i images are too many, using the first %i", frameCount, BITMAP_FRAMES_MAX);
    frameCount = BITMAP_FRAMES_MAX;
  }
  if (!scene) return false;
  colourFrames.assign(size_t(frameCount), Frame{});
  alphaFrames.assign(size_t(frameCount), Frame{});
  NameFrames(colourPattern, colourFrames, scene->system);
  NameFrames(alphaPattern, alphaFrames, scene->system);
  // Two layers per surface: the texture cache merges the second image into the first as alpha.
  for (int32_t i = 0; i < frameCount; ++i) {
    Surface* surface = scene->AddSurface();
    surface->layers[0] = ImageLayer(colourFrames[size_t(i)].name, LAYER_COLOR);
    surface->layers[1] = ImageLayer(alphaFrames[size_t(i)].name, LAYER_TRANSPARENCY);
    surface->layerCount = 2;
    colourFrames[size_t(i)].surface = surface;
    alphaFrames[size_t(i)].surface = surface;
  }
  return true;
}

int32_t BitmapAnimAction::Step(const SceneObject* owner, float time) {
  if (!created) return -1;
  const uint32_t frame = uint32_t(actions::Truncate(time));
  if (owner->channelValues[CHANNEL_SCALE_Z] < 1.0f && !running) {
    startFrame = int32_t(frame);
    running = 1;
  }
  if (!running) return -1;
  // Unsigned: a time that wrapped to before the start gives a huge k and ends the sequence.
  const uint32_t k = frame - uint32_t(startFrame);
  if (k > uint32_t(frameCount)) {
    running = 0;
    return -1;
  }
  if (k == uint32_t(frameCount)) return -1;  // the empty frame after the last image
  return int32_t(k);
}

void BitmapAnimAction::Render(SceneObject* owner, float time) {
  const int32_t k = Step(owner, time);
  if (k < 0) return;
  const Surface* surface = colourFrames[size_t(k)].surface;
  const TextureLayer* layer = surface && surface->layerCount ? surface->layers[0].get() : nullptr;
  if (!layer || !layer->texture) return;  // textures not loaded: nothing to show
  const float* channels = owner->channelValues;
  glDisable(GL_LIGHTING);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // The view is on the projection stack: the square lies in the world's XY plane.
  glTranslatef(channels[CHANNEL_POSITION_X], channels[CHANNEL_POSITION_Y], -channels[CHANNEL_POSITION_Z]);
  glScalef(spriteScale, spriteScale, spriteScale);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, layer->texture->glName);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.0f);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex3f(-0.5f, 0.5f, 0);
  glTexCoord2f(0, 1);
  glVertex3f(-0.5f, -0.5f, 0);
  glTexCoord2f(1, 1);
  glVertex3f(0.5f, -0.5f, 0);
  glTexCoord2f(1, 0);
  glVertex3f(0.5f, 0.5f, 0);
  glEnd();
  glEnable(GL_LIGHTING);
}

void BitmapAnimAction::Delete() {
  std::vector<Frame>().swap(colourFrames);
  std::vector<Frame>().swap(alphaFrames);
}

// ---- PipAction ----

bool PipAction::Create(const char* params, Vfs*, Scene* scene) {
  char name[256] = {};
  std::sscanf(params, "%255s %i", name, &size);
  if (!scene) return false;
  surface = scene->FindSurfaceByName(name);
  if (!surface) return false;
  this->scene = scene;
  system = scene->system;
  return system != nullptr;
}

void PipAction::Render(SceneObject* owner, float time) {
  if (!created) return;
  if (!(surface->transparency < 1.0f)) return;  // the picture would not be seen
  const uint64_t cameraCount = scene->cameras.size();
  if (cameraCount == 0) return;
  uint64_t number = uint32_t(actions::Truncate(owner->channelValues[CHANNEL_SCALE_X]));
  if (number == 0 || number > cameraCount) number = 1;
  Camera* camera = scene->cameras[number - 1].get();

  const int32_t side = std::max(size, 0);
  glViewport(0, PIP_BOTTOM, side, side);
  scene->RenderFrameFromCamera(time, camera);

  // The copy needs the texture, a level 0 at least side × side, and a window that holds the
  // square; otherwise the texture keeps what it had.
  const TextureLayer* layer = surface->layerCount ? surface->layers[0].get() : nullptr;
  const bool windowHolds = system->settings.width >= uint32_t(side) &&
                           system->settings.height >= uint32_t(PIP_BOTTOM) + uint32_t(side);
  if (layer && layer->texture && side > 0 && windowHolds) {
    glBindTexture(GL_TEXTURE_2D, layer->texture->glName);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width >= side && height >= side) {
      // Only level 0 receives the picture: the mip-map filter would show the old levels.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, PIP_BOTTOM, side, side);
      ++copies;
    }
  }

  const Camera* active = scene->activeCamera;
  if (active) {
    const int32_t y = int32_t((float(system->settings.height) - float(active->viewportHeight)) * 0.5f);
    glViewport(0, y, GLsizei(active->viewportWidth), GLsizei(active->viewportHeight));
  }
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
