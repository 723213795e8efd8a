// Demo actions: null objects of a scene whose name is one of eight action words, driven by the
// null's own keyframed channels. The scene loader hands each AddNullObject line to the engine's
// action factory, CreateNullAction (which the application registers), which builds the action,
// lets it read the rest of the line and attaches it to the null; the renderer calls the action's
// Render (the scene module's SceneAction) once per frame, before the scene's objects
// are drawn (phase 1: music, sound, volume, picture-in-picture) or after them (phase 2: camera
// cut, image sequence, fade, nested particle scene).
//
//   ACTCAM                                camera number = scale X
//   ACTBAMM colour### alpha### count size image sequence started by scale Z < 1, at the position
//   ACTMOD  file order p2 p3              looping music, volume = 40 × |scale X|
//   ACTSFX  file                          one playback when scale Y reaches -1, volume 50 × |scale X|
//   ACTFADE red green blue                full-screen colour of opacity position X
//   ACTPIP  surface size                  the view of camera scale X into the surface's texture
//   ACTSPS  scene count start end bx by bz lx ly lz   count copies of a nested scene flying out
//   ACTMVOL index                         volume of music number index = 40 × scale X
//
// An action whose Create failed stays attached and its Render returns at once. Everything runs
// on the thread that loads and renders the scene; the visual actions need its GL context.
#pragma once

#include "scene/Scene.h"
#include "sound/Sound.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Vfs;
struct VfsFile;

// The base of the eight actions. The three operations of the base only log that they were
// reached: every action overrides Render and Delete, and brings its own Create with parameters.
// Advance (a camera cut, a sequence started or ended, a sound started or stopped, a particle
// stopped at its bound, as before the first picture of a capture that starts later) and
// ReleaseRendering (a nested scene's display lists; the renderer's ReleaseSceneRendering calls it
// for every action) come from SceneAction.
struct NullAction : SceneAction {
  // What the action's Create returned; without it Render does nothing.
  bool created = false;

  virtual void Create();
  void Render(SceneObject* owner, float time) override;
  virtual void Delete();

  // A file the action reads, for reports: kind ("music", "sample", "scene") and name as given.
  struct File {
    const char* kind;
    std::string name;
  };
  virtual void ListFiles(std::vector<File>& files) const { (void)files; }
};

// Builds the action a null's name asks for. line is the whole scene line, keyword its first
// word and token the null's name. The parameter text starts at line + strlen(keyword) + 1 +
// strlen(token) (never past the line's end): one blank between keyword and name is presumed, so
// two blanks start it one character early. The name is compared exactly, with case; any other
// name leaves a plain null. The action is attached whether or not its Create succeeded. Its
// signature is the scene module's ActionFactory.
// sceneFile, when given, is the name of the scene file the line belongs to: a nested scene may
// not be that file.
void CreateNullAction(const char* line, const char* keyword, const char* token, SceneObject* object, Vfs* vfs,
                      Scene* scene, const char* sceneFile = nullptr);

// Every file the actions of scene read (nested scenes' actions included), in object order.
std::vector<NullAction::File> ActionFiles(const Scene& scene);

// ---- The program-wide random sequence ----

// state = state × 214013 + 2531011 (mod 2^32) from state 1; each number is bits 16-30 of the new
// state (0-32767). Never reseeded, so particle layouts are the same on every run.
uint32_t ActionRandom();
void ResetActionRandom();  // back to state 1, for tests

// ---- Music and sound ----

// A loaded module in the sound layer.
struct MusicPlayer {
  sound::Handle handle = 0;  // 0 when none

  // Loads the file's bytes. True whether or not the sound layer took them.
  bool Load(const VfsFile* file);
  // Starts output, then the music at order and row (low 16 bits of each).
  bool Play(int32_t order, int32_t row, bool loop);
  void Stop();  // stops all output, not one music
  void Free();  // stops all output and frees the music
};

// Music players by number, each ModuleAction entered in creation order (number 0 is the first
// ACTMOD); an entry is cleared when its action is deleted, and the table empties once all are. musicVolumeIndex is the number every
// MusicVolumeAction addresses: the parameter of the one created last.
extern std::vector<MusicPlayer*> musicTable;
extern int32_t musicVolumeIndex;
void ResetMusicTable();  // empties the table and sets the index to 0, for tests

// ACTMOD file startOrder param2 param3: the module loops from startOrder (row 0), started on the
// first rendered frame; its volume is 40 × |scale X|, sent when the value changes.
struct ModuleAction : NullAction {
  MusicPlayer music;
  uint32_t playing = 0;
  int32_t startOrder = 0;
  int32_t param2 = 0, param3 = 0;  // read, not used
  float lastVolume = -2.0f;        // channel value last sent; -2 makes the first frame send
  uint32_t volumeSends = 0;        // volumes sent so far
  std::string fileName;

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Delete() override;
  void ListFiles(std::vector<File>& files) const override;
};

// ACTSFX file: one playback each time scale Y comes down to -1 or below, at 50 × |scale X|;
// raising scale Y above -1 stops it and arms the trigger again.
struct SoundAction : NullAction {
  sound::Handle sample = 0;
  uint32_t playing = 0;
  uint32_t plays = 0;  // playbacks started so far
  std::string fileName;

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Delete() override;
  void ListFiles(std::vector<File>& files) const override;
};

// ACTMVOL index: the volume of music number musicVolumeIndex = 40 × scale X (no absolute value),
// sent when the value changes; a number without a music changes nothing.
struct MusicVolumeAction : NullAction {
  float lastVolume = -2.0f;
  uint32_t volumeSends = 0;

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Delete() override {}
};

// Sound-layer volume 0-100 from a channel value times a factor, truncated toward zero.
int32_t ActionVolume(float value, float factor);

// ---- Visual actions ----

// ACTCAM: from the next frame on, the scene's active camera is camera number trunc(scale X)
// (1-based); other numbers change nothing.
struct CameraAction : NullAction {
  Scene* scene = nullptr;

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Delete() override {}
};

// ACTFADE red green blue (0-255): the whole viewport covered with that colour at opacity
// position X; nothing while position X is exactly 0.
struct FadeAction : NullAction {
  int32_t red = 0, green = 0, blue = 0;

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Advance(SceneObject*, float) override {}
  void Delete() override {}
};

// ACTBAMM colourPattern alphaPattern count scale: an image sequence on a square of side scale
// at the null's position. The first '#' of a pattern and the two characters after it are
// replaced by the frame number 001, 002, ... (a pattern without '#' is used as the prefix
// alone). Each frame gets a surface of two layers (colour, then alpha), so the texture cache
// merges the alpha image into the colour texture. The sequence starts on a frame where scale Z
// is below 1 and advances one image per frame; one frame without image follows the last.
struct BitmapAnimAction : NullAction {
  struct Frame {
    std::string name;
    Surface* surface = nullptr;  // owned by the scene
  };
  int32_t frameCount = 0;
  float spriteScale = 0;
  int32_t startFrame = 0;
  uint32_t running = 0;
  std::vector<Frame> colourFrames;
  std::vector<Frame> alphaFrames;

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Advance(SceneObject* owner, float time) override { Step(owner, time); }
  void Delete() override;
  // Starts or ends the sequence at time; the image to show then, or -1 for none.
  int32_t Step(const SceneObject* owner, float time);
};

// An image sequence longer than this is cut to it (each frame is a surface and two textures).
inline constexpr int32_t BITMAP_FRAMES_MAX = 1000;

// ACTPIP surface size: while the surface is not fully transparent, the scene is drawn from
// camera trunc(scale X) (the first one for 0 or a number past the last) into a size × size
// square at (0, 40), copied into level 0 of the surface's first texture, and the screen cleared.
struct PipAction : NullAction {
  Surface* surface = nullptr;
  Engine* system = nullptr;
  Scene* scene = nullptr;
  int32_t size = 0;
  uint32_t copies = 0;  // pictures copied into the texture so far

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Advance(SceneObject*, float) override {}  // each picture is made anew
  void Delete() override {}
};

// Where PipAction draws its picture: this many pixels above the bottom of the window.
inline constexpr int32_t PIP_BOTTOM = 40;

// ACTSPS file count start end boxX boxY boxZ limitX limitY limitZ: count copies of a nested
// scene, drawn in the null's frame while start <= time < end. Each particle starts at a random
// place in the box and flies at its own velocity; a coordinate stops once it reaches its limit.
// Each copy plays the nested scene at its own phase. The nested scene shares the outer scene's
// engine and texture cache; its own actions are created but never rendered.
struct SceneParticlesAction : NullAction {
  struct Particle {
    Vec3 position;
    Vec3 start;
    Vec3 velocity;
    float unused[2] = {0, 0};
    float nestedTime = 0;
    float phase = 0;
  };
  std::unique_ptr<Scene> nested;
  Scene* scene = nullptr;
  std::vector<Particle> particles;
  uint32_t count = 0;
  uint32_t startTime = 0;
  uint32_t endTime = 0;
  Vec3 box;
  Vec3 limit;
  std::string fileName;

  using NullAction::Create;
  bool Create(const char* params, Vfs* vfs, Scene* scene);
  void Render(SceneObject* owner, float time) override;
  void Advance(SceneObject*, float time) override { Move(time); }
  void Delete() override;
  void ReleaseRendering() override;
  // The particles' positions and nested times at time; false (nothing moved) outside start-end.
  bool Move(float time);
  void ListFiles(std::vector<File>& files) const override;
};

// Nested scenes may nest this deep (a scene in a scene is depth 1); deeper, or a scene that
// includes itself or one of the scenes it is nested in, fails Create.
inline constexpr uint32_t NESTED_SCENE_DEPTH_MAX = 8;
// More particles than this are cut to it.
inline constexpr uint32_t PARTICLES_MAX = 100000;
