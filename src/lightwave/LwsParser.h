// The scene-file parser's insides, shared by its source files: the line cutter, the argument
// reader, the state that the keyword handlers share, and the handlers themselves.
//
// A handler gets the parser and one whole line (terminated, without its line end and trailing
// blanks) and returns true to go on or false to cancel the load, having logged why.
#pragma once

#include "scene/Scene.h"

#include <cstdint>
#include <memory>
#include <vector>

struct Vfs;
struct VfsFile;

namespace lws {

// A line keeps at most this many characters; the rest of a longer line is dropped.
inline constexpr uint32_t LINE_LENGTH_MAX = 255;
// A first word longer than this matches no keyword.
inline constexpr uint32_t KEYWORD_MAX = 63;
// Lines after an LW_Oscillator line that hold its numbers.
inline constexpr uint32_t OSCILLATOR_LINES = 8;

// The current item's kind: the item kinds of the scene, and a bone, whose lines belong to no
// record of the scene.
enum : uint8_t { KIND_OBJECT = ITEM_OBJECT, KIND_CAMERA = ITEM_CAMERA, KIND_LIGHT = ITEM_LIGHT, KIND_BONE = 3 };

// Cuts text into lines at LF, a CR before the LF included in the line end. A last line without
// an end is a line too. Never reads outside [text, text + size).
struct Lines {
  const uint8_t* text = nullptr;
  uint32_t size = 0;
  uint32_t position = 0;  // first byte of the next line

  // Copies the next line into line (LINE_LENGTH_MAX characters at most, then a terminator), without its
  // line end and trailing blanks; false at the end of the text.
  bool Next(char (&line)[LINE_LENGTH_MAX + 1]);
};

bool IsBlank(char c);

// The file name a scene line carries at path (the rest of the line): what follows its last
// backslash, slash or colon, blanks included. Empty when the path ends in a separator.
const char* BareFileName(const char* path);

// Reads a line's words and numbers one after another, in the manner of sscanf: each read skips
// white space first. A read that finds no value stores nothing, and every read after it fails
// too, so a handler stores only what the line really holds.
struct Args {
  const char* at;
  bool failed = false;

  explicit Args(const char* line) : at(line) {}
  // One blank-delimited word, cut to size - 1 characters.
  bool Word(char* out, uint32_t size);
  // A whole number: decimal, hexadecimal after 0x, octal after a leading 0; kept to 32 bits.
  bool Int(int32_t* value);
  // A hexadecimal number, with or without 0x; kept to 32 bits.
  bool Hex(uint32_t* value);
  // A finite decimal number; the decimal point is '.' whatever the locale.
  bool Float(float* value);
  // Skips count words.
  bool Skip(uint32_t count);
};

struct Parser {
  Scene* scene = nullptr;
  Engine* system = nullptr;
  Vfs* vfs = nullptr;
  const VfsFile* file = nullptr;
  const char* sceneName = "";  // the scene file's name, for messages
  uint32_t version = 0;         // the header's format version; from 4 on, item lines carry item ids
  Lines lines;                  // the lines still to read; handlers may read ahead on a copy

  bool envelopePending = false;  // a "{ Envelope" line was read: the next line is its key count
  char keyword[KEYWORD_MAX + 1] = {};
  SceneObject* currentObject = nullptr;
  Camera* currentCamera = nullptr;
  Light* currentLight = nullptr;
  uint8_t currentKind = KIND_OBJECT;
  uint32_t currentChannel = 0;
  // Set by a Channel or MorphAmount line, used up by the envelope block after it: a block with
  // no slot made ready animates a parameter this player doesn't keep.
  bool channelReady = false;
  // The keyword of the last "KEYWORD (envelope)" line: the parameter whose block follows.
  char envelopeKeyword[KEYWORD_MAX + 1] = {};
  Envelope* currentEnvelope = nullptr;  // filled by Key lines, up to announcedKeys keys
  uint32_t announcedKeys = 0;

  // This file's items by item index; their sizes are the next indices to give.
  std::vector<SceneObject*> objectItems;
  std::vector<Camera*> cameraItems;
  std::vector<Light*> lightItems;
};

// Sorts the current envelope's keys by time, equal times keeping their file order, and lets it
// go: the envelope evaluation relies on ascending times.
void FinishEnvelope(Parser& parser);

// The envelope slot of the current item for channel, or none (no such item, a bone, or a
// channel past the item's slots).
std::unique_ptr<Envelope>* CurrentEnvelopeSlot(Parser& parser, uint32_t channel);

// After the last line: parents by kind and index, loops broken, morph targets.
void ResolveReferences(Parser& parser);

// ---- Handlers, by keyword ----

bool PreviewFirstFrame(Parser& parser, const char* line);
bool PreviewLastFrame(Parser& parser, const char* line);
bool FramesPerSecond(Parser& parser, const char* line);
bool LoadObjectLayer(Parser& parser, const char* line);
bool Channel(Parser& parser, const char* line);
bool OpenBlock(Parser& parser, const char* line);        // "{"
bool Key(Parser& parser, const char* line);
bool AmbientColor(Parser& parser, const char* line);
bool AmbientIntensity(Parser& parser, const char* line);
bool AddLight(Parser& parser, const char* line);
bool LightName(Parser& parser, const char* line);
bool LightColor(Parser& parser, const char* line);
bool LightIntensity(Parser& parser, const char* line);
bool LightType(Parser& parser, const char* line);
bool AddCamera(Parser& parser, const char* line);
bool CameraName(Parser& parser, const char* line);
bool MorphAmount(Parser& parser, const char* line);
bool UnseenByCamera(Parser& parser, const char* line);
bool MorphTarget(Parser& parser, const char* line);
bool AddNullObject(Parser& parser, const char* line);
bool AddBone(Parser& parser, const char* line);
bool ParentItem(Parser& parser, const char* line);
bool PivotPosition(Parser& parser, const char* line);
bool Plugin(Parser& parser, const char* line);
bool Filename(Parser& parser, const char* line);          // "filename"
bool LwOscillator(Parser& parser, const char* line);      // "\"LW_Oscillator\""
bool ShadowOptions(Parser& parser, const char* line);
bool LightRange(Parser& parser, const char* line);
bool LightFalloffType(Parser& parser, const char* line);
bool TargetObject(Parser& parser, const char* line);
bool TargetItem(Parser& parser, const char* line);
bool MdFlag(Parser& parser, const char* line);            // "mdflag"
bool Behaviors(Parser& parser, const char* line);
bool ObjectDissolve(Parser& parser, const char* line);
bool ZoomFactor(Parser& parser, const char* line);
bool LightConeAngle(Parser& parser, const char* line);
bool LightEdgeAngle(Parser& parser, const char* line);
bool NoEffect(Parser& parser, const char* line);
// The line after "{ Envelope", whatever its first word.
bool ReadNumKeys(Parser& parser, const char* line);

}  // namespace lws
