// Image clips and envelopes of an LWO2 file. Clips give texture blocks their image names, which
// also go to the system's texture list; envelopes animate surface levels and texture mappings,
// each user getting its own copy.
#include "lightwave/Lightwave.h"

#include "lightwave/LwoRead.h"
#include "log/Log.h"
#include "textures/Textures.h"
#include "vfs/Vfs.h"

using lwo::Cursor;
using lwo::Id;

namespace {

// Clip attributes that are known and not used: image sequences, references, filters and
// colour corrections.
bool IsDroppedClipAttribute(uint32_t id) {
  switch (id) {
    case Id("STCC"): case Id("XREF"): case Id("ISEQ"): case Id("NEGA"): case Id("PFLT"):
    case Id("IFLT"): case Id("CROP"): case Id("COMP"): case Id("ALPH"): case Id("ANIM"):
    case Id("CONT"): case Id("BRIT"): case Id("SATR"): case Id("HUE "): case Id("GAMM"):
      return true;
    default:
      return false;
  }
}

// The file name of a path saved on another machine: whatever follows the last colon, slash or
// backslash ("C:\maps\wood.tga" and "Q:maps/wood.tga" both give "wood.tga").
std::string_view BareName(std::string_view path) {
  size_t cut = path.find_last_of(":/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The parameters of an LW_Oscillator channel modifier, after its name and flags.
constexpr uint32_t OSCILLATOR_PARAMETERS = 8;

}  // namespace

// CLIP: U4 clip index, then attributes; STIL (S0 path) names a still image. Clips without a
// still image (sequences, references) are not recorded.
uint32_t LwoLoader::ReadCLIP(Cursor& chunk) {
  uint32_t index = 0;
  lwo::ReadU4(chunk, &index);
  if (chunk.truncated) {
    Log(1, "LWOLDR(ReadCLIP) - Clip chunk in LWO %s is cut short, skipped", fileName);
    return chunk.Consumed();
  }
  std::string_view path;
  bool still = false;
  while (!chunk.AtEnd()) {
    uint32_t id = 0, size = 0;
    Cursor sub;
    if (!lwo::ReadSubChunk(chunk, &id, &sub, &size)) {
      Log(1, "LWOLDR(ReadCLIP) - Clip attribute %s in %s runs past its clip, skipped with the rest",
          lwo::IdText(id).text, fileName);
      break;
    }
    if (id == Id("STIL")) {
      std::string_view text;
      lwo::ReadS0(sub, &text);
      if (sub.truncated) {
        Log(1, "LWOLDR(ReadCLIP) - Image name of a clip in %s is cut short, skipped", fileName);
      } else {
        path = text;
        still = true;
      }
    } else if (!IsDroppedClipAttribute(id)) {
      Log(1, "LWOLDR(ReadCLIP) - Clip chunk in LWO %s contains unrecognized subchunks!", fileName);
    }
  }
  if (!still) return chunk.Size();

  std::string_view name = BareName(path);
  if (name.empty()) {
    // A name that is only a directory would match any file in the texture lookup.
    Log(1, "LWOLDR(ReadCLIP) - Clip %u of %s names a directory, not an image; skipped", index, fileName);
    return chunk.Size();
  }
  clips.push_back({index, std::string(name)});
  if (scene->system && scene->system->textures) scene->system->textures->AddReference(clips.back().name.c_str());
  return chunk.Size();
}

// ENVL: U2 envelope index, then attributes: KEY (F4 seconds, F4 value) starts a key; SPAN (ID4
// type and parameters) shapes the last key; CHAN (S0 plug-in, U2 flags, parameters) adds a
// channel modifier; PRE and POST (U2) are the behaviours outside the keys; TYPE and NAME are
// not used. The classic look reads only Hermite and linear spans (any other shape stays 0 and
// runs straight); LightWave's reading of the keys, kept beside, has every span type.
uint32_t LwoLoader::ReadENVL(Cursor& chunk) {
  uint16_t index = 0;
  lwo::ReadU2(chunk, &index);
  if (chunk.truncated) {
    Log(1, "LWOLDR(ReadENVL) - Envelope chunk in %s is cut short, skipped", fileName);
    return chunk.Size();
  }
  envelopes.emplace_back();
  Envelope& envelope = envelopes.back();
  envelope.index = index;
  std::vector<EnvelopeKey>& lightwave = envelope.lightwaveKeys;

  while (!chunk.AtEnd()) {
    uint32_t id = 0, size = 0;
    Cursor sub;
    if (!lwo::ReadSubChunk(chunk, &id, &sub, &size)) {
      Log(0,
          "LWOLDR(ReadENVL) - Something strange occured in LWO \"%s\" Envelope Loader -> Blocksize invalid. I'm "
          "trying to continue but this may be caused by authors lazyness after midnight",
          fileName);
      break;
    }
    if (id == Id("KEY ")) {
      float timeAndValue[2];
      lwo::ReadF4(sub, &timeAndValue[0]);
      lwo::ReadF4(sub, &timeAndValue[1]);
      if (sub.truncated) {
        Log(1, "LWOLDR(ReadENVL) - A key of envelope %u in %s is cut short, skipped", index, fileName);
        continue;
      }
      // Key times are seconds; the scene counts frames at the engine speed.
      EnvelopeKey key;
      key.time = timeAndValue[0] * engineSpeed;
      key.value = timeAndValue[1];
      envelope.keys.push_back(key);
      lightwave.push_back(key);
    } else if (id == Id("SPAN")) {
      if (!envelope.keys.empty()) ReadSpan(sub, index, envelope.keys.back(), lightwave.back());
    } else if (id == Id("PRE ") || id == Id("POST")) {
      uint16_t behaviour = 0;
      lwo::ReadU2(sub, &behaviour);
      // A code past the known ones holds the end values, as constant does.
      const bool known = !sub.truncated && behaviour <= BEHAVIOR_LINEAR;
      const uint8_t code = known ? uint8_t(behaviour) : uint8_t(BEHAVIOR_CONSTANT);
      (id == Id("PRE ") ? envelope.pre : envelope.post) = code;
    } else if (id == Id("CHAN")) {
      ReadEnvelopeChannel(sub, envelope);
    }
  }
  if (lightwave == envelope.keys) lightwave.clear();
  return chunk.Size();
}

// SPAN: ID4 type, then its parameters: TCB tension, continuity, bias; HERM and BEZI the
// incoming and outgoing tangents; BEZ2 the incoming and outgoing handles (seconds, value) from
// the key; LINE and STEP none. A span cut short leaves the key as it was.
void LwoLoader::ReadSpan(Cursor& sub, uint32_t index, EnvelopeKey& classic, EnvelopeKey& lightwave) {
  uint32_t type = 0;
  lwo::ReadID4(sub, &type);
  const struct {
    uint32_t type, shape, parameters;
  } SPANS[] = {{Id("TCB "), SHAPE_TCB, 3},     {Id("HERM"), SHAPE_HERMITE, 2}, {Id("BEZI"), SHAPE_BEZIER, 2},
               {Id("LINE"), SHAPE_LINEAR, 0},  {Id("STEP"), SHAPE_STEPPED, 0}, {Id("BEZ2"), SHAPE_BEZIER2D, 4}};
  for (const auto& span : SPANS) {
    if (span.type != type) continue;
    float p[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < span.parameters; ++i) lwo::ReadF4(sub, &p[i]);
    if (sub.truncated) {
      Log(1, "LWOLDR(ReadENVL) - A span of envelope %u in %s is cut short, skipped", index, fileName);
      return;
    }
    lightwave.shape = span.shape;
    switch (span.shape) {
      case SHAPE_TCB:
        lightwave.tension = p[0], lightwave.continuity = p[1], lightwave.bias = p[2];
        break;
      case SHAPE_HERMITE:
      case SHAPE_BEZIER:
        lightwave.inTangent = p[0], lightwave.outTangent = p[1];
        break;
      case SHAPE_BEZIER2D:
        lightwave.inHandleTime = p[0] * engineSpeed, lightwave.inHandleValue = p[1];
        lightwave.outHandleTime = p[2] * engineSpeed, lightwave.outHandleValue = p[3];
        break;
      default:
        break;
    }
    // The classic look knows Hermite and linear spans only.
    if (span.shape == SHAPE_HERMITE) {
      classic.inTangent = p[0];
      classic.outTangent = p[1];
    }
    if (span.shape == SHAPE_HERMITE || span.shape == SHAPE_LINEAR) classic.shape = span.shape;
    return;
  }
}

// CHAN: S0 plug-in name, U2 flags, then the plug-in's parameters. Only LW_Oscillator is known:
// eight F4, of which the 1st (waves per second), 2nd (amplitude), 6th and 7th (start and end,
// seconds) are used.
void LwoLoader::ReadEnvelopeChannel(Cursor& sub, Envelope& envelope) {
  std::string_view plugin;
  uint16_t flags = 0;
  lwo::ReadS0(sub, &plugin);
  lwo::ReadU2(sub, &flags);
  if (sub.truncated || plugin != "LW_Oscillator") return;
  float parameters[OSCILLATOR_PARAMETERS];
  for (float& parameter : parameters) lwo::ReadF4(sub, &parameter);
  if (sub.truncated) {
    Log(1, "LWOLDR(ReadENVL) - Oscillator of envelope %u in %s is cut short, skipped", envelope.index, fileName);
    return;
  }
  Oscillator* oscillator = scene->AddOscillator();
  oscillator->period = engineSpeed / parameters[0];
  oscillator->amplitude = parameters[1];
  oscillator->start = parameters[5] * engineSpeed;
  oscillator->end = parameters[6] * engineSpeed;
  envelope.oscillators.push_back(oscillator);
}

const Envelope* LwoLoader::FindEnvelope(uint32_t index) {
  for (const Envelope& envelope : envelopes) {
    if (envelope.index == index) return &envelope;
  }
  if (envelopes.empty()) {
    Log(1, "LWOLDR(FindEnvelope) - LWO \"%s\" referenced to non-existing envelope %u and has none to use instead",
        fileName, index);
    return nullptr;
  }
  Log(0,
      "LWOLDR(FindEnvelope) - LWO \"%s\" referenced to non-existing envelope. I'm trying to fake that envelope with "
      "an other one!",
      fileName);
  return &envelopes.front();
}

// Surfaces and texture layers keep their own copy: the loader's envelopes go with the load.
void LwoLoader::StoreEnvelopeCopy(uint32_t index, std::unique_ptr<Envelope>& slot) {
  const Envelope* envelope = FindEnvelope(index);
  if (!envelope) return;
  slot = std::make_unique<Envelope>(*envelope);
  slot->index = 0;
}
