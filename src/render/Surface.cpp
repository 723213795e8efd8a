// Surface state: the animated levels of surfaces and texture layers, and the GL state one
// surface draws with. Only a surface's first texture layer is bound; a second layer has been
// merged into the first one's texture as alpha by the texture cache, so here it only switches
// on blending and the alpha test that cut it out. The LightWave look adds each layer's wrap
// modes and front projection, which GL's texture generation makes from the frame's projection.
#include "render/Render.h"

#include "textures/Textures.h"

#include <GL/gl.h>

#include <cstdio>
#include <utility>

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_CLAMP_TO_BORDER
#define GL_CLAMP_TO_BORDER 0x812D
#endif
#ifndef GL_MIRRORED_REPEAT
#define GL_MIRRORED_REPEAT 0x8370
#endif

namespace {

// The context's GL version as major × 10 + minor (11 when it can't be read).
int GlVersion() {
  const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  int major = 1, minor = 1;
  if (!text || std::sscanf(text, "%d.%d", &major, &minor) != 2) return 11;
  return major * 10 + minor;
}

// Wrap modes beyond GL 1.1 where the context has them: clamping to the edge (1.2), to the
// transparent black border (1.3), mirrored repeat (1.4). An older context clamps the first two
// the 1.1 way, blending the border in at the edge, and repeats instead of mirroring.
GLint WrapMode(uint8_t wrap, int version) {
  switch (wrap) {
    case WRAP_RESET: return version >= 13 ? GL_CLAMP_TO_BORDER : GL_CLAMP;
    case WRAP_MIRROR: return version >= 14 ? GL_MIRRORED_REPEAT : GL_REPEAT;
    case WRAP_EDGE: return version >= 12 ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    default: return GL_REPEAT;
  }
}

void EnableFrontProjection(bool on) {
  for (GLenum coordinate : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_Q}) {
    if (on)
      glEnable(coordinate);
    else
      glDisable(coordinate);
  }
}

// Reads the three envelopes of a group once its first one exists.
void EvaluateGroup(const std::unique_ptr<Envelope>* envelopes, float time, bool lightwave, Vec3& value) {
  if (!envelopes[0]) return;
  value.x = EvaluateEnvelope(envelopes[0].get(), time, lightwave);
  value.y = EvaluateEnvelope(envelopes[1].get(), time, lightwave);
  value.z = EvaluateEnvelope(envelopes[2].get(), time, lightwave);
}

void EnableAlphaBlend() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

}  // namespace

void UpdateSurface(Surface* surface, float time) {
  if (!surface) return;
  const bool lightwave = LightWaveLook(surface->scene);
  if (const Envelope* e = surface->envelopes[SURFACE_ENV_TRANSPARENCY].get())
    surface->transparency = EvaluateEnvelope(e, time, lightwave);
  if (const Envelope* e = surface->envelopes[SURFACE_ENV_DIFFUSE].get())
    surface->diffuse = EvaluateEnvelope(e, time, lightwave);
  for (const auto& layer : surface->layers) {
    if (!layer) continue;
    if (layer->envelopes[LAYER_ENV_CENTER_X]) {
      EvaluateGroup(&layer->envelopes[LAYER_ENV_CENTER_X], time, lightwave, layer->center);
      if (!lightwave) layer->center.z = -layer->center.z;  // the classic look's mirrored depth
    }
    EvaluateGroup(&layer->envelopes[LAYER_ENV_HEADING], time, lightwave, layer->rotation);
    EvaluateGroup(&layer->envelopes[LAYER_ENV_SIZE_X], time, lightwave, layer->size);
  }
}

void ApplyFrontProjection() {
  // Clip coordinates (x, y, w) of a point are the projection matrix's rows 0, 1 and 3 applied
  // to it; the frame's u = (x / w + 1) / 2 and v = (y / w + 1) / 2 follow with q = w. The
  // renderer's eye space is the world, so the planes are given with no modelview.
  GLfloat projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  GLfloat s[4], t[4], q[4];
  for (int c = 0; c < 4; ++c) {
    const GLfloat* column = projection + 4 * c;
    s[c] = 0.5f * (column[0] + column[3]);
    t[c] = 0.5f * (column[1] + column[3]);
    q[c] = column[3];
  }
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  const std::pair<GLenum, const GLfloat*> planes[] = {{GL_S, s}, {GL_T, t}, {GL_Q, q}};
  for (const auto& [coordinate, plane] : planes) {
    glTexGeni(coordinate, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    glTexGenfv(coordinate, GL_EYE_PLANE, plane);
  }
  glPopMatrix();
}

void ApplySurface(const Surface* surface, bool lightwave, float opacity) {
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_2D);
  if (lightwave) EnableFrontProjection(false);
  if (!surface) return;

  // A texture whose image was never uploaded (missing, or failing to decode) would draw white:
  // such a surface shows its own colour instead.
  const TextureLayer* first = surface->layerCount ? surface->layers[0].get() : nullptr;
  const bool textured = first && first->texture && first->texture->width > 0;
  const bool alphaCutOut = textured && surface->layerCount == 2;
  if (textured) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, first->texture->glName);
    if (lightwave) {
      const int version = GlVersion();
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, WrapMode(first->wrapU, version));
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, WrapMode(first->wrapV, version));
      EnableFrontProjection(first->projection == PROJECTION_FRONT);
    }
    if (alphaCutOut) {
      EnableAlphaBlend();
      glEnable(GL_ALPHA_TEST);
      glAlphaFunc(GL_GREATER, 0);
    }
  }

  // A texture shows its own colours, scaled by the diffuse level.
  const float diffuse = surface->diffuse;
  const GLfloat colour[4] = {
      textured ? diffuse : surface->color.x * diffuse,
      textured ? diffuse : surface->color.y * diffuse,
      textured ? diffuse : surface->color.z * diffuse,
      (1 - surface->transparency) * opacity,
  };
  glColor4f(colour[0], colour[1], colour[2], colour[3]);
  // A negative transparency is drawn without blending.
  if ((surface->transparency > 0 || opacity < 1) && surface->layerCount != 2) EnableAlphaBlend();

  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, colour);
  if (surface->flags & SURFACE_DOUBLE_SIDED) {
    glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glDisable(GL_CULL_FACE);
  } else {
    glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 0);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
  }
}
