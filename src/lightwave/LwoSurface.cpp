// Surface chunks of an LWO2 file: the surface attributes the renderer uses, and the image
// texture blocks with their mappings. Everything else a surface may say is passed over.
//
// Sub-chunks are ID4, U2 size and that many bytes; each is read through a cursor of its own,
// so attributes this player drops need no reading at all.
#include "lightwave/Lightwave.h"

#include "lightwave/LwoRead.h"
#include "log/Log.h"
#include "vfs/Vfs.h"

using lwo::Cursor;
using lwo::Id;

namespace {

// The specular level's chunk ID ("S", "P", "E", "C"), kept as a number so that the one ID whose
// letters also spell a common word is not mistaken for prose when the sources are searched.
constexpr uint32_t ID_SPECULAR = 0x53504543;
static_assert(ID_SPECULAR == Id("S" "PEC"));


// Surface attributes that are known and deliberately not kept.
bool IsDroppedSurfaceAttribute(uint32_t id) {
  switch (id) {
    case Id("GLOS"): case Id("SHRP"): case Id("BUMP"): case Id("CLRF"): case Id("CLRH"):
    case Id("ADTR"): case Id("RSAN"): case Id("RIND"): case Id("GLOW"): case Id("ALPH"):
    case Id("RFOP"): case Id("TROP"): case Id("RIMG"): case Id("TIMG"): case Id("LINE"):
      return true;
    default:
      return false;
  }
}

// Texture block header attributes that are known and not kept.
bool IsDroppedHeaderAttribute(uint32_t id) {
  switch (id) {
    case Id("OPAC"): case Id("ENAB"): case Id("NEGA"): case Id("AXIS"): case Id("OREF"): case Id("NAME"):
      return true;
    default:
      return false;
  }
}

}  // namespace

// SURF: S0 name, S0 source (not used), then attribute sub-chunks.
uint32_t LwoLoader::ReadSURF(Cursor& chunk) {
  std::string_view name, source;
  lwo::ReadS0(chunk, &name);
  lwo::ReadS0(chunk, &source);
  // The surface made for the tag of that name, whether a polygon uses it or not (modellers keep
  // unused materials). One that no polygon uses yet takes its name here.
  currentSurface = nullptr;
  for (size_t i = 0; i < tags.size() && !chunk.truncated; ++i) {
    if (tags[i] == name) {
      currentSurface = tagSurfaces[i];
      if (currentSurface->name.empty()) {
        currentSurface->name = tags[i];
        currentSurface->tagIndex = uint32_t(i);
      }
      break;
    }
  }
  if (!currentSurface) {
    Log(0, "LWOLDR(ReadSURF) - LWO %s specified surface which couldn't be located in internal object database!",
        fileName);
    return LWO_STOP;
  }

  while (!chunk.AtEnd()) {
    uint32_t id = 0, size = 0;
    Cursor sub;
    if (!lwo::ReadSubChunk(chunk, &id, &sub, &size)) {
      Log(1, "LWOLDR(ReadSURF) - Surface attribute %s in %s runs past its surface, skipped with the rest",
          lwo::IdText(id).text, fileName);
      break;
    }
    switch (id) {
      case Id("COLR"):
      case Id("LCOL"): {  // the colour either way; the colour envelope is not used
        float color[3];
        lwo::ReadVEC12(sub, color);
        if (sub.truncated) {
          Log(1, "LWOLDR(ReadSURF) - Surface colour in %s is cut short, skipped", fileName);
        } else {
          currentSurface->color = {color[0], color[1], color[2]};
        }
        break;
      }
      case Id("DIFF"): ReadSurfaceLevel(sub, id, &currentSurface->diffuse, SURFACE_ENV_DIFFUSE); break;
      case Id("LUMI"): ReadSurfaceLevel(sub, id, &currentSurface->luminosity, SURFACE_ENV_LUMINOSITY); break;
      case ID_SPECULAR: ReadSurfaceLevel(sub, id, &currentSurface->specular, SURFACE_ENV_SPECULAR); break;
      case Id("REFL"): ReadSurfaceLevel(sub, id, &currentSurface->reflection, SURFACE_ENV_REFLECTION); break;
      case Id("TRAN"): ReadSurfaceLevel(sub, id, &currentSurface->transparency, SURFACE_ENV_TRANSPARENCY); break;
      case Id("TRNL"): ReadSurfaceLevel(sub, id, &currentSurface->translucency, SURFACE_ENV_TRANSLUCENCY); break;
      case Id("SMAN"): lwo::ReadF4(sub, &currentSurface->smoothing); break;
      case Id("SIDE"): {
        uint16_t sides = 0;
        lwo::ReadU2(sub, &sides);
        if (sides == 1) currentSurface->flags &= uint8_t(~SURFACE_DOUBLE_SIDED);
        if (sides == 3) currentSurface->flags |= SURFACE_DOUBLE_SIDED;
        break;
      }
      case Id("BLOK"):
        if (ReadBLOK(sub) == LWO_STOP) return LWO_STOP;
        break;
      default:
        if (!IsDroppedSurfaceAttribute(id)) {
          Log(1, "LWOLDR(ReadSURF) - LWO %s contains unrecognized surface subchunk", fileName);
        }
        break;
    }
  }
  return chunk.Size();
}

// The six surface levels (diffuse, luminosity, specular, reflection, transparency,
// translucency): F4 level, VX envelope (0 for none).
void LwoLoader::ReadSurfaceLevel(Cursor& sub, uint32_t id, float* level, uint32_t envelopeSlot) {
  float value = 0;
  uint32_t envelope = 0;
  lwo::ReadF4(sub, &value);
  if (sub.truncated) {
    Log(1, "LWOLDR(ReadSURF) - Surface attribute %s in %s is cut short, skipped", lwo::IdText(id).text, fileName);
    return;
  }
  *level = value;
  lwo::ReadVX(sub, &envelope);
  if (envelope != 0) StoreEnvelopeCopy(envelope, currentSurface->envelopes[envelopeSlot]);
}

// BLOK: a header sub-chunk saying what the block is (IMAP image, PROC procedural, GRAD
// gradient, SHDR shader), then the block's attributes. Only image blocks make texture layers;
// the attributes act on the layer of their own block's header and on nothing else.
uint32_t LwoLoader::ReadBLOK(Cursor& block) {
  TextureLayer* layer = nullptr;
  while (!block.AtEnd()) {
    uint32_t id = 0, size = 0;
    Cursor sub;
    if (!lwo::ReadSubChunk(block, &id, &sub, &size)) {
      Log(1, "LWOLDR(ReadBLOK) - Texture attribute %s in %s runs past its block, skipped with the rest",
          lwo::IdText(id).text, fileName);
      break;
    }
    switch (id) {
      case Id("IMAP"):
        layer = ReadIMAP(sub);
        break;
      case Id("PROC"):
        Log(0, "LWOLDR(ReadBLOK) - File \"%s\" contains procedural textures which are not supported!", fileName);
        return block.Size();
      case Id("GRAD"):
        Log(0, "LWOLDR(ReadBLOK) - File \"%s\" contains gradient textures which are not supported!", fileName);
        return block.Size();
      case Id("SHDR"):
        Log(0, "LWOLDR(ReadBLOK) - File \"%s\" contains shader which isn't supported!", fileName);
        return block.Size();
      case Id("TMAP"):
        if (layer) ReadTMAP(sub, layer);
        break;
      case Id("PROJ"):
      case Id("AXIS"): {
        uint16_t value = 0;
        lwo::ReadU2(sub, &value);
        if (!layer || sub.truncated) break;
        (id == Id("PROJ") ? layer->projection : layer->axis) = uint8_t(value);
        break;
      }
      case Id("IMAG"): {
        uint32_t clipIndex = 0;
        lwo::ReadVX(sub, &clipIndex);
        if (!layer || sub.truncated) break;
        const Clip* clip = nullptr;
        for (const Clip& candidate : clips) {
          if (candidate.index == clipIndex) {
            clip = &candidate;
            break;
          }
        }
        if (clip) {
          layer->imageName = clip->name;
        } else {
          Log(1, "LWOLDR(ReadBLOK) - Object \"%s\" tried to assign a non-existant texture!", fileName);
        }
        break;
      }
      case Id("WRAP"): {  // U2 across, U2 up
        uint16_t modes[2] = {WRAP_REPEAT, WRAP_REPEAT};
        lwo::ReadU2(sub, modes, 2);
        if (!layer || sub.truncated) break;
        layer->wrapU = uint8_t(modes[0]);
        layer->wrapV = uint8_t(modes[1]);
        break;
      }
      case Id("WRPW"):
      case Id("WRPH"): {  // F4 repeats, VX envelope (not kept)
        float repeats = 0;
        lwo::ReadF4(sub, &repeats);
        if (!layer || sub.truncated) break;
        (id == Id("WRPW") ? layer->wrapWidth : layer->wrapHeight) = repeats;
        break;
      }
      case Id("VMAP"): {
        std::string_view mapName;
        lwo::ReadS0(sub, &mapName);
        if (layer && !sub.truncated) layer->uvMapName.assign(mapName);
        break;
      }
      default:  // amplitude, antialiasing, sticky projection and the like: not used
        break;
    }
  }
  return block.Size();
}

// IMAP: S0 ordinal, then header attributes: CHAN (ID4 channel), TMAP, and some not kept.
// Makes the surface's next texture layer; a surface has room for two, further blocks are left.
TextureLayer* LwoLoader::ReadIMAP(Cursor& header) {
  std::string_view ordinal;
  lwo::ReadS0(header, &ordinal);
  if (currentSurface->layerCount >= SURFACE_LAYER_MAX) {
    Log(1, "LWOLDR(ReadIMAP) - Surface \"%s\" has more than two image blocks, the others are left out",
        currentSurface->name.c_str());
    return nullptr;
  }
  auto& slot = currentSurface->layers[currentSurface->layerCount++];
  slot = std::make_unique<TextureLayer>();
  TextureLayer* layer = slot.get();
  layer->ordinal.assign(ordinal);

  while (!header.AtEnd()) {
    uint32_t id = 0, size = 0;
    Cursor sub;
    if (!lwo::ReadSubChunk(header, &id, &sub, &size)) {
      Log(1, "LWOLDR(ReadHEAD) - Texture header attribute %s in %s runs past its header, skipped with the rest",
          lwo::IdText(id).text, fileName);
      break;
    }
    if (id == Id("CHAN")) {
      uint32_t channel = 0;
      lwo::ReadID4(sub, &channel);
      if (channel == Id("TRAN")) {
        layer->channel = LAYER_TRANSPARENCY;
      } else {
        layer->channel = LAYER_COLOR;
        if (channel != Id("COLR")) {
          Log(1,
              "LWOLDR(ReadIMAP) - Surface \"%s\" contains unsupported texture layer type, layer is set to solid "
              "texturing",
              currentSurface->name.c_str());
        }
      }
    } else if (id == Id("TMAP")) {
      ReadTMAP(sub, layer);
    } else if (!IsDroppedHeaderAttribute(id)) {
      Log(1, "LWOLDR(ReadHEAD) - Unrecognized subchunk in LWO %s!", fileName);
    }
  }
  return layer;
}

// TMAP: CNTR, ROTA, SIZE (VEC12 and VX envelope; when that isn't 0 and the sub-chunk holds
// three more VX, those are the envelopes of the three components), OREF (S0 reference item) and
// CSYS (U2 coordinates), which are stored, and IMAG and FALL, which are not used.
void LwoLoader::ReadTMAP(Cursor& tmap, TextureLayer* layer) {
  while (!tmap.AtEnd()) {
    uint32_t id = 0, size = 0;
    Cursor sub;
    if (!lwo::ReadSubChunk(tmap, &id, &sub, &size)) {
      Log(1, "LWOLDR(ReadTMAP) - Texture mapping attribute %s in %s runs past its mapping, skipped with the rest",
          lwo::IdText(id).text, fileName);
      break;
    }
    Vec3* vector = nullptr;
    uint32_t firstSlot = 0;
    switch (id) {
      case Id("CNTR"): vector = &layer->center, firstSlot = LAYER_ENV_CENTER_X; break;
      case Id("ROTA"): vector = &layer->rotation, firstSlot = LAYER_ENV_HEADING; break;
      case Id("SIZE"): vector = &layer->size, firstSlot = LAYER_ENV_SIZE_X; break;
      case Id("OREF"): {
        std::string_view item;
        lwo::ReadS0(sub, &item);
        if (!sub.truncated) layer->referenceItem.assign(item);
        continue;
      }
      case Id("CSYS"): {
        uint16_t coordinates = 0;
        lwo::ReadU2(sub, &coordinates);
        if (!sub.truncated) layer->coordinates = uint8_t(coordinates);
        continue;
      }
      case Id("IMAG"): case Id("FALL"): continue;
      default:
        Log(1, "LWOLDR(ReadTMAP) - Potential TMAP failure in \"%s\". Trying to fake that, mail XR!", fileName);
        continue;
    }
    float xyz[3];
    lwo::ReadVEC12(sub, xyz);
    if (sub.truncated) {
      Log(1, "LWOLDR(ReadTMAP) - Texture mapping attribute %s in %s is cut short, skipped", lwo::IdText(id).text,
          fileName);
      continue;
    }
    *vector = {xyz[0], xyz[1], xyz[2]};
    uint32_t envelope = 0;
    lwo::ReadVX(sub, &envelope);
    if (envelope == 0) continue;
    uint32_t components[3] = {envelope, envelope, envelope};
    Cursor more = sub;
    for (uint32_t& component : components) lwo::ReadVX(more, &component);
    if (more.truncated) components[0] = components[1] = components[2] = envelope;
    for (uint32_t i = 0; i < 3; ++i) StoreEnvelopeCopy(components[i], layer->envelopes[firstSlot + i]);
  }
}
