// The texture pool: distinct names out of every reference, layers bound to their entries, one
// decode and upload per entry, alpha merges for two-layer surfaces, and the release of it all.
// Lookups are linear scans over the pool, which holds tens of entries, not thousands.
#include "textures/Textures.h"

#include "log/Log.h"
#include "scene/Scene.h"
#include "vfs/Vfs.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <utility>

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

}  // namespace

void TextureCache::BuildPool() {
  for (const std::string& reference : references) {
    bool pooled = false;
    for (const auto& entry : entries) {
      if (EqualIgnoringCase(entry->name, reference)) {
        pooled = true;
        break;
      }
    }
    if (pooled) continue;
    entries.push_back(std::make_unique<TextureEntry>());
    entries.back()->name = reference;
  }
}

void TextureCache::ResolveLayers() {
  for (Scene* scene : scenes) {
    for (const auto& surface : scene->surfaces) {
      for (uint32_t i = 0; i < surface->layerCount && i < SURFACE_LAYER_MAX; ++i) {
        TextureLayer* layer = surface->layers[i].get();
        if (!layer || layer->imageName.empty()) continue;
        layer->texture = nullptr;
        // A prefix match: the first entry whose name begins with the layer's name wins.
        for (const auto& entry : entries) {
          if (StartsWithIgnoringCase(entry->name, layer->imageName)) {
            layer->texture = entry.get();
            std::string().swap(layer->imageName);
            break;
          }
        }
      }
    }
  }
}

bool TextureCache::Load(Vfs* vfs) {
  if (references.empty()) return true;
  Log(3, "TEXCACHE(Load) - Creating texture pool, sorting and loading textures...");
  BuildPool();
  Log(3, "TEXCACHE(Load) - Optimized %i texture references down to %i texture load operations...",
      int(references.size()), int(entries.size()));
  ResolveLayers();

  glNames.assign(entries.size(), 0);
  glGenTextures(GLsizei(glNames.size()), glNames.data());
  for (size_t i = 0; i < entries.size(); ++i) entries[i]->glName = glNames[i];

  for (const auto& entry : entries) {
    Log(3, "TEXCACHE(Load) - Loading texture \"%s\"...", entry->name.c_str());
    const VfsFile* file = vfs ? vfs->Find(entry->name.c_str()) : nullptr;
    if (!file) {
      Log(1, "TEXCACHE(Load) - Texture \"%s\" not found in current path/datafile, trying to continue...",
          entry->name.c_str());
      continue;
    }
    TextureLoader::Load(entry.get(), file);  // a failure is logged by the loader
  }

  // A two-layer surface shows its first image with the second as alpha: every such surface,
  // however many share a mask. A pair that has merged once is not merged again.
  std::vector<std::pair<const TextureEntry*, const TextureEntry*>> merged;
  for (Scene* scene : scenes) {
    for (const auto& surface : scene->surfaces) {
      if (surface->layerCount != 2 || !surface->layers[0] || !surface->layers[1]) continue;
      TextureEntry* alpha = surface->layers[1]->texture;
      TextureEntry* colour = surface->layers[0]->texture;
      if (!alpha || std::find(merged.begin(), merged.end(), std::pair<const TextureEntry*, const TextureEntry*>(alpha, colour)) != merged.end())
        continue;
      merged.emplace_back(alpha, colour);
      CombineAlpha(alpha, colour);
    }
  }

  // Only the OpenGL textures stay while frames are drawn.
  for (const auto& entry : entries) {
    entry->image.reset();
    entry->pixels = nullptr;
  }
  return true;
}

std::vector<uint8_t> MergeAlpha(const TextureEntry& alpha, const TextureEntry& colour) {
  std::vector<uint8_t> merged;
  if (!alpha.pixels || !colour.pixels || alpha.width != colour.width || alpha.height != colour.height ||
      alpha.width <= 0 || alpha.height <= 0)
    return merged;
  const size_t width = size_t(alpha.width), height = size_t(alpha.height);
  merged.resize(width * height * 4);
  uint8_t* out = merged.data();
  // Row by row: each bitmap row is padded to 4 bytes, the merged rows are not.
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* mask = alpha.pixels + y * alpha.pitch;
    const uint8_t* bgr = colour.pixels + y * colour.pitch;
    for (size_t x = 0; x < width; ++x, mask += 3, bgr += 3, out += 4) {
      out[0] = bgr[2];
      out[1] = bgr[1];
      out[2] = bgr[0];
      out[3] = uint8_t((mask[0] + mask[1] + mask[2]) / 3);
    }
  }
  return merged;
}

void TextureCache::CombineAlpha(TextureEntry* alphaEntry, TextureEntry* colourEntry) {
  if (!alphaEntry || !colourEntry) return;
  if (alphaEntry->pixels && colourEntry->pixels &&
      (alphaEntry->width != colourEntry->width || alphaEntry->height != colourEntry->height)) {
    Log(1,
        "TEXCACHE(CombineAlpha) - Alpha texture \"%s\" (%ix%i) and texture \"%s\" (%ix%i) differ in size, "
        "not merged",
        alphaEntry->name.c_str(), alphaEntry->width, alphaEntry->height, colourEntry->name.c_str(),
        colourEntry->width, colourEntry->height);
    return;
  }
  const std::vector<uint8_t> merged = MergeAlpha(*alphaEntry, *colourEntry);
  if (merged.empty()) return;  // an image is missing: its file was already reported

  glBindTexture(GL_TEXTURE_2D, colourEntry->glName);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 4, alphaEntry->width, alphaEntry->height, GL_RGBA, GL_UNSIGNED_BYTE,
                    merged.data());
  alphaEntry->combined = 1;
  colourEntry->combined = 1;
}

void TextureCache::Free() {
  references.clear();
  references.shrink_to_fit();
  scenes.clear();
  scenes.shrink_to_fit();
  if (!glNames.empty()) {
    glDeleteTextures(GLsizei(glNames.size()), glNames.data());
    glNames.clear();
    glNames.shrink_to_fit();
  }
  entries.clear();
  entries.shrink_to_fit();
}
