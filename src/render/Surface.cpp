// Surface state: the animated levels of surfaces and texture layers, and the GL state one
// surface draws with. Only a surface's first texture layer is bound; a second layer has been
// merged into the first one's texture as alpha by the texture cache, so here it only switches
// on blending and the alpha test that cut it out.
#include "render/Render.h"

#include "textures/Textures.h"

#include <GL/gl.h>

namespace {

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
      layer->center.z = -layer->center.z;
    }
    EvaluateGroup(&layer->envelopes[LAYER_ENV_HEADING], time, lightwave, layer->rotation);
    EvaluateGroup(&layer->envelopes[LAYER_ENV_SIZE_X], time, lightwave, layer->size);
  }
}

void ApplySurface(const Surface* surface) { ApplySurface(surface, 1); }

void ApplySurface(const Surface* surface, float opacity) {
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_2D);
  if (!surface) return;

  // A texture whose image was never uploaded (missing, or failing to decode) would draw white:
  // such a surface shows its own colour instead.
  const TextureLayer* first = surface->layerCount ? surface->layers[0].get() : nullptr;
  const bool textured = first && first->texture && first->texture->width > 0;
  const bool alphaCutOut = textured && surface->layerCount == 2;
  if (textured) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, first->texture->glName);
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
