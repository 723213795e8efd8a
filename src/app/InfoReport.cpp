// zivi3 --info: the scene report as a terminal prints it. The counts the precalculation logs,
// every item with its parent and flags, the null objects and their action words, the files the
// scene names and whether the Vfs has them, the LightWave features the classic look ignores, and
// every problem the loaders reported, in order.
#include <algorithm>
#include <set>
#include <utility>

#include "actions/Actions.h"
#include "app/Inspect.h"

namespace {

// The words that make a null object a demo action, in the factory's order.
const char* const ACTION_WORDS[] = {"ACTCAM", "ACTBAMM", "ACTMOD", "ACTSFX", "ACTFADE", "ACTPIP", "ACTSPS", "ACTMVOL"};

using Row = std::vector<std::string>;

// Columns padded to their widest cell, two blanks apart, under a header row.
void PrintTable(std::FILE* out, const char* title, const std::vector<Row>& rows) {
  std::fprintf(out, "\n%s\n", title);
  if (rows.size() <= 1) {
    std::fprintf(out, "  (none)\n");
    return;
  }
  std::vector<size_t> widths;
  for (const Row& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const Row& row : rows) {
    std::string line = " ";
    for (size_t c = 0; c < row.size(); ++c) {
      line += ' ';
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] - row[c].size() + 1, ' ');
    }
    std::fprintf(out, "%s\n", line.c_str());
  }
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", double(value));
  return text;
}

std::string ObjectFlags(const SceneObject& object) {
  static const struct {
    uint32_t bit;
    const char* word;
  } FLAG_WORDS[] = {{OBJECT_HIDDEN, "hidden"},   {OBJECT_NULL, "null"},   {OBJECT_FACE_UVS, "face-uvs"},
                    {OBJECT_DYNAMIC, "dynamic"}, {OBJECT_UNLIT, "unlit"}, {OBJECT_TRAIL, "trail"}};
  std::string words;
  for (const auto& flag : FLAG_WORDS) {
    if (object.flags & flag.bit) words += words.empty() ? flag.word : std::string(" ") + flag.word;
  }
  if (object.morphTarget)
    words += (words.empty() ? "" : " ") + std::string("morph:") + DescribeItem(object.morphTarget, ITEM_OBJECT);
  return OrDash(words);
}

// The action word of a null object: the first word of its name when it is one of the eight.
std::string ActionWord(const SceneObject& object) {
  std::string first = object.itemName.substr(0, object.itemName.find_first_of(" \t"));
  for (const char* word : ACTION_WORDS) {
    if (first == word) return first;
  }
  return "";
}

std::string ItemNumber(uint32_t index) { return index == NO_ITEM_INDEX ? "-" : std::to_string(index); }

void PrintCounts(std::FILE* out, const Scene& scene) {
  size_t vertices = 0, faces = 0;
  for (const auto& object : scene.objects) {
    vertices += object->baseVertices.size();
    faces += object->triangles.size();
  }
  const std::pair<const char*, std::string> counts[] = {
      {"lights", std::to_string(scene.lights.size())},
      {"surfaces", std::to_string(scene.surfaces.size())},
      {"cameras", std::to_string(scene.cameras.size())},
      {"objects (including nulls)", std::to_string(scene.objects.size())},
      {"vertices", std::to_string(vertices)},
      {"faces", std::to_string(faces)},
      {"first frame", Number(scene.firstFrame)},
      {"last frame", Number(scene.lastFrame)},
      {"frames per second", Number(scene.framesPerSecond)},
  };
  std::fprintf(out, "\nScene\n");
  for (const auto& [what, count] : counts) std::fprintf(out, "  %-26s %s\n", what, count.c_str());
}

void PrintItems(std::FILE* out, const Scene& scene) {
  std::vector<Row> objects = {{"item", "layer", "name", "file", "vertices", "triangles", "parent", "flags"}};
  std::vector<Row> nulls = {{"item", "name", "action"}};
  for (const auto& o : scene.objects) {
    const bool isNull = (o->flags & OBJECT_NULL) != 0;
    const std::string& name = o->layerName.empty() ? o->itemName : o->layerName;
    objects.push_back({ItemNumber(o->itemIndex), o->layerNumber ? std::to_string(o->layerNumber) : "-", OrDash(name),
                       isNull ? "-" : OrDash(o->fileName), std::to_string(o->baseVertices.size()),
                       std::to_string(o->triangles.size()), DescribeItem(o->parent, o->parentKind), ObjectFlags(*o)});
    if (isNull) nulls.push_back({ItemNumber(o->itemIndex), OrDash(o->itemName), OrDash(ActionWord(*o))});
  }
  PrintTable(out, "Objects", objects);

  std::vector<Row> cameras = {{"camera", "name", "parent", "target"}};
  for (const auto& c : scene.cameras) {
    cameras.push_back({std::to_string(c->cameraIndex), OrDash(c->name), DescribeItem(c->parent, c->parentKind),
                       DescribeItem(c->target, ITEM_OBJECT)});
  }
  PrintTable(out, "Cameras", cameras);

  std::vector<Row> lights = {{"light", "name", "kind", "parent"}};
  for (const auto& l : scene.lights) {
    std::string kind = l->kind == LIGHT_POINT     ? "point"
                       : l->kind == LIGHT_DISTANT ? "distant"
                                                  : "kind " + std::to_string(l->kind);
    lights.push_back({std::to_string(l->lightIndex), OrDash(l->name), kind, DescribeItem(l->parent, l->parentKind)});
  }
  PrintTable(out, "Lights", lights);
  PrintTable(out, "Null objects", nulls);
}

// Files the demo actions read: music modules, samples and nested scenes (with their own
// actions' files). Image sequences are among the textures already.
std::vector<Row> ActionFiles(const Inspection& inspection) {
  std::vector<Row> rows;
  for (const NullAction::File& file : ::ActionFiles(inspection.scene))
    rows.push_back({file.kind, file.name, inspection.vfs.Find(file.name.c_str()) ? "yes" : "NO"});
  return rows;
}

void PrintFiles(std::FILE* out, const Inspection& inspection) {
  std::vector<Row> rows = {{"kind", "name", "found"}};
  auto add = [&](const char* kind, const std::string& name) {
    rows.push_back({kind, name, inspection.vfs.Find(name.c_str()) ? "yes" : "NO"});
  };
  std::set<std::string> seen;
  for (const std::string& name : inspection.system.textureCache.references) {
    if (seen.insert(name).second) add("texture", name);
  }
  for (const std::string& name : inspection.pointCacheFiles) add("mdd", name);
  for (Row& row : ActionFiles(inspection)) rows.push_back(std::move(row));
  PrintTable(out, "Files", rows);
}

// ---- What the LightWave look shows that the classic one ignores ----

// Counts by feature, in the order each feature was first met.
class Features {
 public:
  void Add(const std::string& name, size_t count = 1) {
    for (auto& [known, total] : counts_)
      if (known == name) {
        total += count;
        return;
      }
    counts_.push_back({name, count});
  }
  // "name on N nouns" ("noun" for one); "name N" when noun is empty.
  std::vector<std::string> Texts(const char* noun) const {
    std::vector<std::string> texts;
    for (const auto& [name, count] : counts_) {
      std::string text = name + (*noun ? " on " : " ") + std::to_string(count);
      if (*noun) text += std::string(" ") + noun + (count == 1 ? "" : "s");
      texts.push_back(text);
    }
    return texts;
  }

 private:
  std::vector<std::pair<std::string, size_t>> counts_;
};

const char* const BEHAVIOUR_NAMES[] = {"reset", "constant", "repeat", "oscillate", "offset repeat", "linear"};

// Behaviours other than holding the end values, and LightWave's reading of spans, of one
// envelope (one with fewer than two keys gives its value at every time either way).
void CountEnvelope(const Envelope* envelope, bool objectFile, Features& channels) {
  if (!envelope || envelope->keys.size() < 2) return;
  for (const auto& [behaviour, when] : {std::pair{envelope->pre, "pre"}, std::pair{envelope->post, "post"}})
    if (behaviour != BEHAVIOR_CONSTANT && behaviour < std::size(BEHAVIOUR_NAMES))
      channels.Add(std::string(when) + " behaviour " + BEHAVIOUR_NAMES[behaviour]);
  if (!envelope->lightwaveKeys.empty())
    channels.Add(objectFile ? "object-file spans (TCB, Bezier, stepped)" : "2D Bezier handles");
}

template <size_t N>
void CountEnvelopes(const std::unique_ptr<Envelope> (&envelopes)[N], bool objectFile, Features& channels) {
  for (const auto& envelope : envelopes) CountEnvelope(envelope.get(), objectFile, channels);
}

// Whether an envelope ever differs from value (a key off it, or a wave); a missing one is 0.
bool Differs(const std::unique_ptr<Envelope>& envelope, float value) {
  if (!envelope) return value != 0;
  if (!envelope->oscillators.empty()) return true;
  for (const EnvelopeKey& key : envelope->keys)
    if (key.value != value) return true;
  return false;
}

// Turning about more than one axis, or turning while scaled unevenly: the classic order
// (pitch, heading, bank, then scale) and LightWave's (scale, bank, pitch, heading) differ.
bool OrderMatters(const SceneObject& object) {
  const auto& e = object.envelopes;
  const int turns = Differs(e[CHANNEL_HEADING], 0) + Differs(e[CHANNEL_PITCH], 0) + Differs(e[CHANNEL_BANK], 0);
  const Envelope* x = e[CHANNEL_SCALE_X].get();
  const float scale = x && !x->keys.empty() ? x->keys[0].value : 0;
  const bool uneven = Differs(e[CHANNEL_SCALE_X], scale) || Differs(e[CHANNEL_SCALE_Y], scale) ||
                      Differs(e[CHANNEL_SCALE_Z], scale);
  return turns > 1 || (turns == 1 && uneven);
}

// Every feature of the scene that the LightWave look shows and the classic one ignores or
// shows otherwise, each with how often the scene uses it.
std::vector<std::string> LightWaveFeatures(const Scene& scene) {
  Features channels, surfaces, objects, lights, cameras, lightTypes;
  for (const auto& o : scene.objects) {
    CountEnvelopes(o->envelopes, false, channels);
    CountEnvelope(o->dissolveEnvelope.get(), false, channels);
    if (OrderMatters(*o)) objects.Add("rotation and scale order");
    if (o->dissolveEnvelope) objects.Add("animated dissolve");
    else if (o->dissolve != 0) objects.Add("dissolve");
  }
  for (const auto& c : scene.cameras) {
    CountEnvelopes(c->envelopes, false, channels);
    CountEnvelope(c->zoomEnvelope.get(), false, channels);
    if (c->zoomEnvelope) cameras.Add("animated zoom");
    else if (c->zoomFactor != CAMERA_ZOOM_FACTOR) cameras.Add("zoom factor");
  }
  static const char* const LIGHT_TYPES[] = {"distant light", "point light", "spot light", "linear light",
                                            "area light"};
  for (const auto& l : scene.lights) {
    CountEnvelopes(l->envelopes, false, channels);
    for (const auto* e : {&l->intensityEnvelope, &l->rangeEnvelope, &l->coneAngleEnvelope, &l->edgeAngleEnvelope})
      CountEnvelope(e->get(), false, channels);
    if (l->type != LIGHT_TYPE_POINT && l->type < std::size(LIGHT_TYPES)) lightTypes.Add(LIGHT_TYPES[l->type]);
    if (l->intensityEnvelope) lights.Add("animated intensity");
    else if (l->intensity != 1) lights.Add("intensity");
    if (l->type != LIGHT_TYPE_DISTANT && l->falloff != 0 && (l->range > 0 || l->rangeEnvelope)) lights.Add("falloff");
    if (l->rangeEnvelope || l->coneAngleEnvelope || l->edgeAngleEnvelope) lights.Add("animated range or cone");
  }
  static const char* const PROJECTIONS[] = {"planar", "cylindrical", "spherical", "cubic", "front"};
  for (const auto& s : scene.surfaces) {
    CountEnvelopes(s->envelopes, true, channels);
    bool seen[std::size(PROJECTIONS)] = {};
    for (const auto& layer : s->layers) {
      if (!layer) continue;
      CountEnvelopes(layer->envelopes, true, channels);
      // Planar layers are projected by both looks; UV layers take a vertex map in both.
      if (layer->projection != PROJECTION_PLANAR && layer->projection < std::size(PROJECTIONS) &&
          !seen[layer->projection]) {
        seen[layer->projection] = true;
        surfaces.Add(std::string(PROJECTIONS[layer->projection]) + " projection");
      }
    }
    if (s->smoothing > 0 && s->smoothing < 3.14159f) surfaces.Add("smoothing angle");
  }
  CountEnvelope(scene.ambientIntensityEnvelope.get(), false, channels);

  std::vector<std::string> texts;
  for (const auto& [features, noun] : {std::pair{&channels, "channel"}, std::pair{&objects, "object"},
                                       std::pair{&cameras, "camera"}, std::pair{&lightTypes, ""},
                                       std::pair{&lights, "light"}, std::pair{&surfaces, "surface"}})
    for (std::string& text : features->Texts(noun)) texts.push_back(std::move(text));
  // The classic look keeps GL's ambient grey of 0.2.
  const Vec3& colour = scene.ambientColor;
  const float intensity = scene.ambientIntensity;
  if (scene.ambientIntensityEnvelope)
    texts.push_back("animated ambient light");
  else if (colour.x * intensity != 0.2f || colour.y * intensity != 0.2f || colour.z * intensity != 0.2f)
    texts.push_back("ambient light (colour " + Number(colour.x) + " " + Number(colour.y) + " " + Number(colour.z) +
                    ", intensity " + Number(intensity) + ")");
  return texts;
}

void PrintLightWaveFeatures(std::FILE* out, const Scene& scene, bool lightwave) {
  const std::vector<std::string> features = LightWaveFeatures(scene);
  std::fprintf(out, "\nThe LightWave look\n");
  if (features.empty()) {
    std::fprintf(out, "  (nothing in this scene looks different)\n");
    return;
  }
  // Comma-separated, wrapped between features.
  std::string line = " ";
  for (size_t i = 0; i < features.size(); ++i) {
    const std::string piece = features[i] + (i + 1 < features.size() ? "," : "");
    if (line.size() > 1 && line.size() + 1 + piece.size() > 98) {
      std::fprintf(out, "%s\n", line.c_str());
      line = " ";
    }
    line += " " + piece;
  }
  std::fprintf(out, "%s\n", line.c_str());
  std::fprintf(out, lightwave ? "  shown as LightWave shows them (--lightwave)\n"
                              : "  the classic look ignores these: play with --lightwave to see them\n");
}

void PrintProblems(std::FILE* out, const std::vector<Problem>& problems) {
  std::fprintf(out, "\nProblems (errors, warnings and notices, in the order they came)\n");
  if (problems.empty()) std::fprintf(out, "  (none)\n");
  for (const Problem& problem : problems) {
    const char* kind = problem.level == 0   ? "error  "
                       : problem.level == 1 ? "warning"
                       : problem.level == 2 ? "notice "
                                            : "message";
    std::fprintf(out, "  %s  %s\n", kind, problem.text.c_str());
  }
}

}  // namespace

int RunInfo(const RunOptions& options, std::FILE* out, std::FILE* err) {
  Inspection inspection;
  const bool playable = InspectScene(options, true, inspection);
  const SceneSource& source = inspection.source;

  std::fprintf(out, "ZIVI3 scene report\n");
  std::fprintf(out, "  scene:   %s\n", OrDash(source.sceneName).c_str());
  if (!source.mountPath.empty() || inspection.mounted) {
    std::fprintf(out, "  from:    %s %s (%u files)\n", source.mountMode == MOUNT_DATAFILE ? "datafile" : "folder",
                 source.mountPath.empty() ? "." : source.mountPath.c_str(), inspection.vfs.Count());
  }
  // A datafile may hold several scenes: which they are, and why the one played is played.
  for (size_t i = 0; i < source.choice.scenes.size(); ++i) {
    const std::string& scene = source.choice.scenes[i];
    const std::string plays = scene == source.choice.scene ? "  (plays: " + source.choice.reason + ")" : "";
    std::fprintf(out, "  %-9s%s%s\n", i == 0 ? "scenes:" : "", scene.c_str(), plays.c_str());
  }
  if (playable) {
    std::fprintf(out, "  result:  loaded and precalculated\n");
  } else if (inspection.loaded) {
    std::fprintf(out, "  result:  loaded, but can't be played: %s\n", inspection.why.c_str());
  } else {
    std::fprintf(out, "  result:  NOT LOADED: %s\n", inspection.why.c_str());
  }

  if (inspection.loaded) {
    PrintCounts(out, inspection.scene);
    PrintItems(out, inspection.scene);
    PrintFiles(out, inspection);
    PrintLightWaveFeatures(out, inspection.scene, inspection.system.settings.lightwave);
  }
  PrintProblems(out, inspection.problems);
  std::fflush(out);

  if (!playable) {
    std::fprintf(err, "zivi3: %s\n", inspection.why.c_str());
    return EXIT_SCENE_FAILED;
  }
  return 0;
}
