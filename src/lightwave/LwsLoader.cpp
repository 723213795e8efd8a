// The scene-file loader: the file check, the line loop, the keyword table that gives each line
// its handler, and the way in from the scene database.
//
// Layout: "LWSC", a line end, a version line, then lines of a keyword and its arguments. Lines
// end in CR LF or LF; empty lines and unknown keywords are skipped; nothing tracks braces. The
// table's keywords are compared exactly, with case, in the table's order.
#include "lightwave/Lightwave.h"

#include "lightwave/LwsParser.h"
#include "log/Log.h"
#include "vfs/Vfs.h"

#include <cstring>

namespace lws {

namespace {

using Handler = bool (*)(Parser&, const char*);

struct KeywordRow {
  const char* keyword;
  Handler handler;
};

// Rows that only return true behave as an unknown keyword would; they are listed so that the
// table names every keyword this loader knows.
constexpr KeywordRow KEYWORDS[] = {
    {"PreviewFirstFrame", PreviewFirstFrame},
    {"PreviewLastFrame", PreviewLastFrame},
    {"FramesPerSecond", FramesPerSecond},
    {"LoadObjectLayer", LoadObjectLayer},
    {"Channel", Channel},
    {"{", OpenBlock},
    {"Key", Key},
    {"AmbientColor", AmbientColor},
    {"AmbientIntensity", AmbientIntensity},
    {"AddLight", AddLight},
    {"LightName", LightName},
    {"LightColor", LightColor},
    {"LightIntensity", LightIntensity},
    {"LightType", LightType},
    {"AddCamera", AddCamera},
    {"CameraName", CameraName},
    {"MorphAmount", MorphAmount},
    {"UnseenByCamera", UnseenByCamera},
    {"MorphTarget", MorphTarget},
    {"AddNullObject", AddNullObject},
    {"BoneFalloffType", NoEffect},
    {"AddBone", AddBone},
    {"BoneName", NoEffect},
    {"BoneRestPosition", NoEffect},
    {"BoneRestDirection", NoEffect},
    {"BoneRestLength", NoEffect},
    {"ParentItem", ParentItem},
    {"BoneStrength", NoEffect},
    {"ScaleBoneStrength", NoEffect},
    {"PivotPosition", PivotPosition},
    {"Plugin", Plugin},
    {"filename", Filename},
    {"\"LW_Oscillator\"", LwOscillator},
    {"ShadowOptions", ShadowOptions},
    {"LightRange", LightRange},
    {"LightFalloffType", LightFalloffType},
    {"TargetObject", TargetObject},
    {"TargetItem", TargetItem},
    {"mdflag", MdFlag},
    {"ObjectMotion", NoEffect},
    {"NumChannels", NoEffect},
    {"ShowBone", NoEffect},
    {"BoneActive", NoEffect},
    {"BoneMotion", NoEffect},
    {"AffectCaustics", NoEffect},
    {"ShadowType", NoEffect},
    {"LightMotion", NoEffect},
    {"SchematicPosition", NoEffect},
    {"ShowLight", NoEffect},
    {"Behaviors", Behaviors},
    {"}", NoEffect},
    {"ObjectDissolve", ObjectDissolve},
    {"ZoomFactor", ZoomFactor},
    {"LightConeAngle", LightConeAngle},
    {"LightEdgeAngle", LightEdgeAngle},
};

// The first word of line into parser.keyword; false when it is too long to be a keyword.
bool ReadKeyword(Parser& parser, const char* line) {
  while (IsBlank(*line)) ++line;
  uint32_t length = 0;
  while (line[length] && !IsBlank(line[length])) {
    if (length == KEYWORD_MAX) {
      parser.keyword[0] = 0;
      return false;
    }
    parser.keyword[length] = line[length];
    ++length;
  }
  parser.keyword[length] = 0;
  return true;
}

// "KEYWORD (envelope)": an animated parameter, whose envelope block follows. Remembered so that
// the block, which no Channel line readied, can be named when it is skipped.
void NoteAnimatedParameter(Parser& parser, const char* line) {
  Args args(line);
  char word[sizeof "(envelope)" + 1];
  if (args.Skip(1) && args.Word(word, sizeof word) && std::strcmp(word, "(envelope)") == 0) {
    std::memcpy(parser.envelopeKeyword, parser.keyword, sizeof parser.envelopeKeyword);
    parser.channelReady = false;  // the block that follows is this parameter's (MorphAmount readies its own)
  }
}

bool Dispatch(Parser& parser, const char* line) {
  const bool known = ReadKeyword(parser, line);
  if (known && !parser.envelopePending) NoteAnimatedParameter(parser, line);
  if (parser.envelopePending) {
    if (!ReadNumKeys(parser, line)) return false;
    parser.envelopePending = false;
    return true;
  }
  if (!known) return true;
  for (const KeywordRow& row : KEYWORDS)
    if (std::strcmp(parser.keyword, row.keyword) == 0) return row.handler(parser, line);
  return true;
}

// Skips "LWSC" and the version line, whatever their line ends; false without "LWSC". The
// version is the number the version line begins with (0 when it has none).
bool SkipHeader(Lines& lines, uint32_t* version) {
  if (lines.size < 4 || std::memcmp(lines.text, "LWSC", 4) != 0) return false;
  char line[LINE_LENGTH_MAX + 1];
  lines.Next(line);
  *version = 0;
  if (!lines.Next(line)) return true;
  for (const char* p = line; *p >= '0' && *p <= '9' && *version < 1000; ++p)
    *version = *version * 10 + uint32_t(*p - '0');
  return true;
}

}  // namespace

bool NoEffect(Parser&, const char*) { return true; }

std::unique_ptr<Envelope>* CurrentEnvelopeSlot(Parser& parser, uint32_t channel) {
  switch (parser.currentKind) {
    case KIND_OBJECT:
      if (!parser.currentObject || channel >= OBJECT_ENVELOPE_COUNT) return nullptr;
      return &parser.currentObject->envelopes[channel];
    case KIND_CAMERA:
      if (!parser.currentCamera || channel >= CAMERA_ENVELOPE_COUNT) return nullptr;
      return &parser.currentCamera->envelopes[channel];
    case KIND_LIGHT:
      if (!parser.currentLight || channel >= LIGHT_ENVELOPE_COUNT) return nullptr;
      return &parser.currentLight->envelopes[channel];
    default:
      return nullptr;
  }
}

}  // namespace lws

bool LwsLoader::Load(Vfs* vfs, const char* fileName, Scene* scene) {
  const char* name = fileName ? fileName : "";
  if (!scene || !scene->system || !vfs) {
    Log(0, "LWSLDR(Load) - Internal NULL pointer exception in \"%s\"", name);
    return false;
  }
  Log(3, "LWSLDR(Load) - Now loading \"%s\"...", name);
  // An empty name would match whichever file the Vfs lists first.
  const VfsFile* file = *name ? vfs->Find(name) : nullptr;
  if (!file || !file->loaded) {
    Log(0, "LWSLDR(Load) - Couldn't find LWS \"%s\" in path/datafile", name);
    return false;
  }

  lws::Parser parser;
  parser.scene = scene;
  parser.system = scene->system;
  parser.vfs = vfs;
  parser.file = file;
  parser.sceneName = file->name.c_str();
  // A record claiming more bytes than it holds is read as far as it holds them.
  parser.lines.text = file->data.data();
  parser.lines.size = file->size <= file->data.size() ? file->size : uint32_t(file->data.size());
  if (!lws::SkipHeader(parser.lines, &parser.version)) {
    Log(0, "LWSLDR(Load) - File \"%s\" is not a valid LWS file", parser.sceneName);
    return false;
  }

  char line[lws::LINE_LENGTH_MAX + 1];
  bool parsed = true;
  while (parsed && parser.lines.Next(line)) {
    if (line[0] == 0) continue;
    parsed = lws::Dispatch(parser, line);
  }
  // Keys are sorted on the failure path too: whatever stays in the scene is evaluable.
  lws::FinishEnvelope(parser);
  if (!parsed) return false;
  lws::ResolveReferences(parser);
  return true;
}

bool Scene::Load(Vfs* vfs, const char* path) {
  // The Vfs knows files by bare name; either separator (or a drive's colon) may divide a path.
  const char* name = path;
  for (const char* p = path; p && *p; ++p)
    if (*p == '/' || *p == '\\' || *p == ':') name = p + 1;
  LwsLoader loader;
  return loader.Load(vfs, name, this);
}
