// The scene database: the in-memory model of one loaded scene (object layers, clones and null
// objects, surfaces, cameras, lights), the keyframed envelopes that animate them, and the
// transforms that turn their channel values into OpenGL matrices.
//
// Records are plain structs with public fields. The Scene owns everything reachable from its
// item lists and its oscillator list; loaders, renderer and actions work on the fields directly.
// Nothing here touches OpenGL: a scene can be loaded, inspected and freed without a context.
//
// Coordinates: positions, pivots, vertices and normals are stored as loaded, left-handed (+Z away
// from the viewer); every Matrix4 kept here is in OpenGL's right-handed space (Z negated while the
// matrix is built). Times are frames of scene time, angles radians.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Engine;
struct Vfs;
struct PointCache;     // per-frame vertex positions of a dynamic object (lightwave module)
struct TextureEntry;   // pooled texture (textures module)
struct TextureCache;   // the pool of every image the scenes name (textures module)

// ---- Shared value types ----

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

// 16 floats in OpenGL column-major order: row r, column c at m[4 * c + r]; translation at 12-14.
// Starts as the identity, so an item that is never animated draws untransformed.
struct Matrix4 {
  float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// A record defined and released by another module. The owner stores the release function with
// the pointer, so the scene can free it without depending on that module.
template <typename T>
using ForeignPtr = std::unique_ptr<T, void (*)(T*)>;

// ---- Envelopes ----

// Span shapes: the shape of a key is that of the span that ends at it. Any other value
// (an LWO2 span type this system does not know) is evaluated as linear.
enum : uint32_t {
  SHAPE_HERMITE = 1,
  SHAPE_LINEAR = 2,
  SHAPE_BEZIER = 3,    // one-dimensional Bezier: Hermite with stored tangents
  SHAPE_TCB = 4,
  SHAPE_STEPPED = 5,
  SHAPE_BEZIER2D = 6,  // two-dimensional Bezier: handles in time and value
};

struct EnvelopeKey {
  float time = 0;                // frames
  float tension = 0, continuity = 0, bias = 0;  // TCB keys
  float outTangent = 0;          // Hermite and 1D Bezier keys
  float inTangent = 0;
  float value = 0;
  uint32_t shape = 0;            // SHAPE_*
  // Offsets of the 2D Bezier handles from the key (frames, value units); 0 when the source
  // format has none.
  float inHandleTime = 0, inHandleValue = 0, outHandleTime = 0, outHandleValue = 0;

  bool operator==(const EnvelopeKey&) const = default;
};

// What an envelope gives before its first key (pre) and after its last (post) with the
// LightWave look, by the codes the files write. The classic look always holds the end values,
// as BEHAVIOR_CONSTANT does; so does any code past these.
enum : uint8_t {
  BEHAVIOR_RESET = 0,          // 0
  BEHAVIOR_CONSTANT = 1,       // the first key's value before, the last key's after
  BEHAVIOR_REPEAT = 2,         // the keyed stretch over and over
  BEHAVIOR_OSCILLATE = 3,      // likewise, every other round backwards
  BEHAVIOR_OFFSET_REPEAT = 4,  // repeats, each round shifted by the last key's value minus the first's
  BEHAVIOR_LINEAR = 5,         // straight on from the end key with its slope
};

// A sine wave added to an envelope over [start, end).
struct Oscillator {
  float period = 0;     // frames; 0 contributes nothing
  float amplitude = 0;
  float start = 0;      // frames
  float end = 0;        // frames, exclusive
};

// One animated value. Copying an Envelope copies its keys and its oscillator pointers, which is
// what a surface or texture layer receives from the object loader.
struct Envelope {
  std::vector<EnvelopeKey> keys;         // ascending time; keys.size() is the key count
  // The same keys as LightWave reads them, where that differs from keys: the TCB, Bezier,
  // stepped and 2D Bezier spans of object files (which the classic look runs straight) and the
  // 2D Bezier handles of scene files (which it takes as 0). Empty when nothing differs.
  std::vector<EnvelopeKey> lightwaveKeys;
  std::vector<Oscillator*> oscillators;  // owned by the Scene, applied in this order
  uint32_t index = 0;                    // the object file's envelope index; 0 in copies
  uint8_t pre = BEHAVIOR_CONSTANT;       // BEHAVIOR_* as the file gives them
  uint8_t post = BEHAVIOR_CONSTANT;
};

// The value of an envelope at a time (frames): the keyed curve, held flat before the first and
// after the last key, plus every oscillator whose window contains the time. No keys and no
// oscillators (or no envelope at all) give 0. Long envelopes cost O(log keys).
float EvaluateEnvelope(const Envelope* envelope, float time);
// The same with lightwave false; with it set, the value as LightWave shows it: its reading of
// the keys, and outside them the envelope's pre and post behaviours. One key still gives its
// value at every time.
float EvaluateEnvelope(const Envelope* envelope, float time, bool lightwave);

// The evaluation's building blocks, exposed for the loaders' and the tests' use.
struct HermiteWeights {
  float h1, h2, h3, h4;
};
HermiteWeights HermiteBasis(float t);
// Tangent leaving key0 on the span key0 → key1, by key0's shape; previous may be null.
float OutgoingTangent(const EnvelopeKey& key0, const EnvelopeKey& key1, const EnvelopeKey* previous);
// Tangent arriving at key1 on the span key0 → key1, by key1's shape; next may be null.
float IncomingTangent(const EnvelopeKey& key0, const EnvelopeKey& key1, const EnvelopeKey* next);
float BezierValue(float x0, float x1, float x2, float x3, float t);
// The curve parameter in [t0, t1] at which the Bezier x0..x3 reaches time, within 0.0001 frames
// (or as close as single precision gets).
float BezierTimeSolve(float x0, float x1, float x2, float x3, float time, float t0, float t1);
float TwoDimensionalBezier(const EnvelopeKey& key0, const EnvelopeKey& key1, float time,
                           const EnvelopeKey* previous);
// The oscillator's wave at time, ignoring its window: 0 at start, negative first.
float OscillatorValue(const Oscillator& oscillator, float time);

// ---- Geometry and surfaces ----

struct Vertex {
  Vec3 position;
  Vec3 normal;      // unit length after the precalculation
  float u = 0, v = 0;
};

// Per-corner texture coordinates of one texture layer.
struct CornerCoords {
  float cornerU[3] = {0, 0, 0};
  float cornerV[3] = {0, 0, 0};
};

struct Scene;
struct Surface;

inline constexpr uint32_t NO_CORNER_NORMALS = 0xFFFFFFFF;

struct Triangle {
  // Pointers into the owning object's baseVertices, set by the precalculation from cornerIndex.
  // A plain copy of a Triangle still points into the source's vertices: CloneObjectGeometry
  // re-points them.
  Vertex* corners[3] = {nullptr, nullptr, nullptr};
  Vec3 faceNormal;
  uint32_t cornerIndex[3] = {0, 0, 0};  // indices into the vertex arrays, in file order
  CornerCoords texCoords[2];            // layer 0 (drawn) and layer 1 (planar projection only)
  Surface* surface = nullptr;           // owned by the Scene
  // A further piece of the polygon that the triangle before it came from: a polygon split into
  // triangles weighs once in its corners' normals, however many pieces it became.
  bool continuesPolygon = false;
  // Where smoothing by angle (LightWave look) gave the corners normals of their own: the first of
  // the three in the object's cornerNormals. NO_CORNER_NORMALS: each corner takes its vertex's.
  uint32_t cornerNormals = NO_CORNER_NORMALS;
};

// A run of sortedTriangles sharing one surface.
struct SurfaceBatch {
  uint32_t first = 0;   // index into sortedTriangles
  uint32_t count = 0;
  Surface* surface = nullptr;
};

// Image projections of a texture layer (PROJ). The classic look computes only planar ones; the
// LightWave look computes them all (front projection while drawing, from the camera).
enum : uint32_t {
  PROJECTION_PLANAR = 0, PROJECTION_CYLINDRICAL, PROJECTION_SPHERICAL, PROJECTION_CUBIC,
  PROJECTION_FRONT, PROJECTION_UV,
};
enum : uint8_t { AXIS_X = 0, AXIS_Y = 1, AXIS_Z = 2 };
// What an image shows outside its one repeat (WRAP), per direction.
enum : uint8_t { WRAP_RESET = 0, WRAP_REPEAT = 1, WRAP_MIRROR = 2, WRAP_EDGE = 3 };
// Texture-mapping coordinates (CSYS).
enum : uint8_t { COORDINATES_OBJECT = 0, COORDINATES_WORLD = 1 };
enum : uint8_t { LAYER_COLOR = 1, LAYER_TRANSPARENCY = 2 };

// Envelope slots of a texture layer.
enum : uint32_t {
  LAYER_ENV_CENTER_X = 0, LAYER_ENV_CENTER_Y, LAYER_ENV_CENTER_Z,
  LAYER_ENV_HEADING, LAYER_ENV_PITCH, LAYER_ENV_BANK,
  LAYER_ENV_SIZE_X, LAYER_ENV_SIZE_Y, LAYER_ENV_SIZE_Z,
  LAYER_ENVELOPE_COUNT
};

// One image texture layer of a surface.
struct TextureLayer {
  TextureEntry* texture = nullptr;  // set by the texture cache; none until then
  std::string imageName;            // clip file name; emptied once the texture cache binds it
  std::string ordinal;              // block ordinal; emptied by the precalculation
  Vec3 center;
  Vec3 rotation;                    // heading, pitch, bank
  Vec3 size;
  std::unique_ptr<Envelope> envelopes[LAYER_ENVELOPE_COUNT];
  uint8_t projection = 0;           // PROJECTION_*
  uint8_t axis = 0;                 // AXIS_*
  uint8_t channel = 0;              // LAYER_COLOR or LAYER_TRANSPARENCY
  // Read in both looks, drawn in the LightWave look only.
  uint8_t wrapU = WRAP_REPEAT, wrapV = WRAP_REPEAT;  // WRAP_* across and up the image
  float wrapWidth = 1, wrapHeight = 1;  // image repeats per full turn (cylindrical, spherical)
  std::string uvMapName;            // the object's UV map a UV layer reads; empty for none
  uint8_t coordinates = COORDINATES_OBJECT;  // stored only
  std::string referenceItem;        // the item the mapping follows; stored only
};

// Surface flag bits.
enum : uint8_t {
  SURFACE_INITIAL = 0x1,       // every surface starts with it; nothing reads it
  SURFACE_DOUBLE_SIDED = 0x2,
  SURFACE_ANIMATED = 0x4,      // at least one surface envelope exists
};

// Envelope slots of a surface; only transparency and diffuse are evaluated.
enum : uint32_t {
  SURFACE_ENV_TRANSPARENCY = 0, SURFACE_ENV_DIFFUSE, SURFACE_ENV_LUMINOSITY,
  SURFACE_ENV_SPECULAR, SURFACE_ENV_REFLECTION, SURFACE_ENV_TRANSLUCENCY,
  SURFACE_ENVELOPE_COUNT
};

inline constexpr uint32_t SURFACE_LAYER_MAX = 2;

struct Surface {
  Scene* scene = nullptr;      // owning scene
  std::string name;            // the object file's tag name
  uint32_t tagIndex = 0;       // its index in that file's tag list
  uint8_t flags = SURFACE_INITIAL;
  Vec3 color;
  float diffuse = 0;           // multiplies the colour
  float luminosity = 0;        // stored only
  float specular = 0;          // stored only
  float reflection = 0;        // stored only
  float transparency = 0;      // alpha = 1 - transparency; not 0 → transparent pass
  float translucency = 0;      // stored only
  // Smoothing angle (radians); above 0 the surface is drawn smooth: with vertex normals in the
  // classic look, with corner normals of the faces within the angle in the LightWave look.
  float smoothing = 0;
  std::unique_ptr<Envelope> envelopes[SURFACE_ENVELOPE_COUNT];
  std::unique_ptr<TextureLayer> layers[SURFACE_LAYER_MAX];  // in block order
  uint32_t layerCount = 0;
};

// ---- Items ----

// One texture-coordinate (TXUV) map of an object file, by name, as the file gives it: point
// entries, and entries for single polygon corners that override them there. Only a layer that
// names the map reads it (in the LightWave look); the classic look draws the coordinates the
// vertices and triangles were loaded with.
struct UvMap {
  struct Point {
    uint32_t point = 0;  // index into the object's vertices
    float u = 0, v = 0;
  };
  struct Corner {
    uint32_t triangle = 0;  // index into the object's triangles
    uint32_t point = 0;     // the vertex that corner of the triangle names
    float u = 0, v = 0;
  };
  std::string name;
  std::vector<Point> points;
  std::vector<Corner> corners;
};

// Object flag bits.
enum : uint32_t {
  OBJECT_HIDDEN = 0x1,                // not drawn
  OBJECT_CLAIMED = 0x4,               // taken by a scene item; a second use makes a clone
  OBJECT_NULL = 0x8,
  OBJECT_FACE_UVS = 0x10,             // has a face-based UV map
  OBJECT_COMPILE_OPAQUE = 0x20,       // opaque display list to be compiled before its next use
  OBJECT_COMPILE_TRANSPARENT = 0x40,  // transparent display list likewise
  OBJECT_DYNAMIC = 0x80,              // drawn in immediate mode, updated every frame
  OBJECT_UNLIT = 0x100,
  OBJECT_TRAIL = 0x200,               // drawn again at five earlier times
};

// Item kinds, as parentKind holds them.
enum : uint8_t { ITEM_OBJECT = 0, ITEM_CAMERA = 1, ITEM_LIGHT = 2 };

// Action phases of a null object.
enum : uint8_t { ACTION_NONE = 0, ACTION_PRE_SCENE = 1, ACTION_POST_SCENE = 2 };

struct SceneObject;

// A null object's demo action as the renderer sees it. The actions module makes them (through
// the engine's action factory) and hangs them on their nulls; the renderer calls them in their
// phase of every frame.
struct SceneAction {
  virtual ~SceneAction() = default;
  // Once per drawn frame, before the scene's objects (ACTION_PRE_SCENE) or after them.
  virtual void Render(SceneObject* owner, float time) = 0;
  // What Render does to the action's state and the scene's, without drawing: time passing
  // unseen. Render itself unless the action draws.
  virtual void Advance(SceneObject* owner, float time) { Render(owner, time); }
  // Releases the GL objects the action holds while the context is still current.
  virtual void ReleaseRendering() {}
};

// Motion channel slots, in the order of SceneObject::channelValues.
enum : uint32_t {
  CHANNEL_POSITION_X = 0, CHANNEL_POSITION_Y, CHANNEL_POSITION_Z,
  CHANNEL_HEADING, CHANNEL_PITCH, CHANNEL_BANK,
  CHANNEL_SCALE_X, CHANNEL_SCALE_Y, CHANNEL_SCALE_Z,
  CHANNEL_MORPH_AMOUNT,  // objects only
};
inline constexpr uint32_t OBJECT_ENVELOPE_COUNT = 10;
inline constexpr uint32_t CAMERA_ENVELOPE_COUNT = 6;
inline constexpr uint32_t LIGHT_ENVELOPE_COUNT = 9;

// itemIndex of an object that no scene line named: it matches no index lookup.
inline constexpr uint32_t NO_ITEM_INDEX = 0xFFFFFFFF;

// Vertical field of view of every camera, degrees.
inline constexpr float CAMERA_FIELD_OF_VIEW = 34.71f;
// LightWave's zoom factor when a scene gives none; it makes the same field of view.
inline constexpr float CAMERA_ZOOM_FACTOR = 3.2f;

struct Scene;

// Parenting: parent points to a SceneObject, Camera or Light as parentKind says (ITEM_*), or is
// null. While a scene file is read, the parent is known only by number: parentIndex holds the
// parent's item index + 1 (0 for none) until the loader resolves it into parent.

// One object layer, clone or null object.
struct SceneObject {
  uint32_t flags = 0;                   // OBJECT_*
  uint32_t itemIndex = NO_ITEM_INDEX;   // 0-based among the scene file's object items
  uint16_t layerNumber = 0;             // object-file layer + 1; 0 for clones and nulls
  std::string layerName;                // empty for clones and nulls
  std::string fileName;                 // object file name; "Clone ID %i" for a clone
  std::string itemName;                 // null object's name; "Clone ID %i" for a clone
  uint8_t actionPhase = ACTION_NONE;    // ACTION_*
  Scene* scene = nullptr;               // owning scene
  Vec3 pivot;
  float channelValues[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};  // position xyz, heading/pitch/bank, scale xyz
  int32_t morphTargetIndex = -1;        // scene file's item number - 1; -1 for none
  SceneObject* morphTarget = nullptr;
  ForeignPtr<SceneAction> action{nullptr, nullptr};  // a null object's demo action
  Matrix4 localMatrix;                  // own transform, OpenGL space
  Matrix4 worldMatrix;                  // localMatrix under all ancestors' local matrices
  float morphAmount = 0;
  ForeignPtr<PointCache> pointCache{nullptr, nullptr};
  // Geometry. The vertex count is baseVertices.size() (vertices has the same size once made),
  // the triangle count triangles.size().
  std::vector<Vertex> baseVertices;     // as loaded
  std::vector<Vertex> vertices;         // drawn: a copy made by the precalculation
  std::vector<Triangle> triangles;
  std::vector<Triangle*> sortedTriangles;  // into triangles, grouped by surface
  std::vector<UvMap> uvMaps;            // the object file's UV maps, in file order
  // Smoothing by angle (LightWave look): three normals for each triangle whose corners don't
  // all take their vertices' normals (Triangle::cornerNormals says where).
  std::vector<Vec3> cornerNormals;
  void* parent = nullptr;
  uint8_t parentKind = ITEM_OBJECT;
  uint32_t parentIndex = 0;
  std::vector<SurfaceBatch> surfaceBatches;
  // Display-list names; the renderer generates, compiles and deletes them (0 without a context).
  uint32_t opaqueList = 0, transparentList = 0;
  std::unique_ptr<Envelope> envelopes[OBJECT_ENVELOPE_COUNT];  // CHANNEL_* slots
  // ObjectDissolve: 0 fully there ... 1 gone, fading linearly; shown with the LightWave look,
  // where the envelope, when there is one, sets it every frame.
  float dissolve = 0;
  std::unique_ptr<Envelope> dissolveEnvelope;
};

struct Camera {
  Scene* scene = nullptr;               // owning scene
  uint32_t cameraIndex = 0;             // 0-based order in the scene file
  Vec3 position;
  Vec3 rotation;                        // heading, pitch, bank; not evaluated while targeting
  SceneObject* target = nullptr;        // aims at target's channelValues position, or none
  Matrix4 localMatrix;                  // view matrix, OpenGL space
  Matrix4 worldMatrix;                  // view matrix after the inverse of the ancestors' placement
  float fieldOfView = CAMERA_FIELD_OF_VIEW;
  float aspect = 0;                     // viewportWidth / viewportHeight
  std::string name;
  void* parent = nullptr;
  uint8_t parentKind = ITEM_OBJECT;
  uint32_t parentIndex = 0;
  std::unique_ptr<Envelope> envelopes[CAMERA_ENVELOPE_COUNT];
  uint32_t viewportWidth = 0, viewportHeight = 0;
  Engine* system = nullptr;             // where the viewport size came from
  // ZoomFactor: the distance to a plane on which the image is 2 units high. With the LightWave
  // look it sets the field of view every frame, from the envelope when there is one.
  float zoomFactor = CAMERA_ZOOM_FACTOR;
  std::unique_ptr<Envelope> zoomEnvelope;
};

// Light kinds of the classic look: directional, everything else positional.
enum : uint8_t { LIGHT_POINT = 1, LIGHT_DISTANT = 2 };
// LightType as the scene file writes it, which the LightWave look follows. Linear and area
// lights are shown as point lights.
enum : uint8_t {
  LIGHT_TYPE_DISTANT = 0, LIGHT_TYPE_POINT = 1, LIGHT_TYPE_SPOT = 2, LIGHT_TYPE_LINEAR = 3, LIGHT_TYPE_AREA = 4
};
// A spot light's cone and soft edge when the scene gives none, degrees.
inline constexpr float LIGHT_CONE_ANGLE = 30, LIGHT_EDGE_ANGLE = 5;

struct Light {
  Scene* scene = nullptr;               // owning scene
  std::string name;
  uint32_t lightIndex = 0;              // 0-based order in the scene file; picks the GL light
  uint8_t kind = LIGHT_POINT;           // the classic look's LIGHT_POINT or LIGHT_DISTANT
  uint8_t type = LIGHT_TYPE_POINT;      // LIGHT_TYPE_*, for the LightWave look
  Vec3 color;
  Vec3 position;
  Vec3 rotation;                        // heading, pitch, bank; evaluated with the LightWave look
  Matrix4 worldMatrix;                  // places the light
  Matrix4 localMatrix;                  // its own translation (and rotation, LightWave look)
  float intensity = 0;                  // colour × intensity with the LightWave look
  float range = 0;
  uint32_t falloff = 0;                 // 0-3
  float coneAngle = LIGHT_CONE_ANGLE;   // spot lights: half-angle of the cone, degrees
  float edgeAngle = LIGHT_EDGE_ANGLE;   // the soft part inside the cone's edge, degrees
  void* parent = nullptr;
  uint8_t parentKind = ITEM_OBJECT;
  uint32_t parentIndex = 0;
  std::unique_ptr<Envelope> envelopes[LIGHT_ENVELOPE_COUNT];  // position; rotation with the LightWave look
  // Animated parameters, evaluated with the LightWave look.
  std::unique_ptr<Envelope> intensityEnvelope, rangeEnvelope, coneAngleEnvelope, edgeAngleEnvelope;
};

// ---- The engine ----

// The setup choices, filled with these defaults and then by the dialog or the command line.
struct Settings {
  uint32_t width = 640;          // client width in pixels
  uint32_t height = 480;         // client height in pixels
  uint32_t colourDepth = 32;     // 16 or 32 bits per pixel
  uint32_t sampleRate = 44100;   // sound output rate, Hz
  uint32_t stereoSeparation = 100;  // music's stereo separation, percent: 0 mono, 100 the module's panning
  uint8_t use16Bit = 1;          // stored only
  uint8_t stereo = 1;            // stored only
  uint8_t bilinear = 1;          // stored only
  uint8_t mipMapping = 1;        // stored only
  uint8_t fullscreen = 0;
  uint8_t noSound = 0;
  uint8_t widescreen = 1;        // render into a centred 16:9 band
  bool triangulate = false;      // the object loader splits polygons of more than three corners
  // Show the scene as LightWave itself does (envelope behaviours, every projection, smoothing by
  // angle, its item and light rules) instead of the classic engine's simplified look.
  bool lightwave = false;
  uint32_t samples = 1;          // multisampled drawing: at least this many samples per pixel above 1
};

// Builds the demo action a null's scene line asks for and attaches it to object (see the actions
// module's CreateNullAction, which the application registers).
using ActionFactory = void (*)(const char* line, const char* keyword, const char* token, SceneObject* object,
                               Vfs* vfs, Scene* scene, const char* sceneFile);

// What the loaders, the renderer and the actions read of the program that plays the scenes: the
// engine speed, the display settings, where the texture names go and who makes the actions. The
// application's System is one; the window, thread and clock of a play run stay there.
struct Engine {
  float engineSpeed = 30;        // frames of scene time per second
  uint32_t msPerFrame = 33;      // 1000 / engineSpeed, remainder dropped
  Settings settings;
  int32_t widescreenHeight = 360;  // height of the 16:9 band for settings.width
  // Collects the texture names the loaders give and loads them once the scene is ready; without
  // one the names are dropped.
  TextureCache* textures = nullptr;
  ActionFactory actionFactory = nullptr;  // without one every null stays plain

  // A speed of 0 (or less) would make a frame last forever: it is refused and the speed kept.
  void SetEngineSpeed(float framesPerSecond) {
    if (!(framesPerSecond > 0)) return;
    engineSpeed = framesPerSecond;
    msPerFrame = uint32_t(1000.0f / framesPerSecond);
  }

  // Takes new settings and derives the band height from the width (640 → 360, 1024 → 576).
  void ApplySettings(const Settings& chosen) {
    settings = chosen;
    widescreenHeight = int32_t(float(chosen.width) / 16.0f * 9.0f);
  }
};

// ---- The scene ----

struct Scene {
  // Items in order of creation; a lookup returns the first match.
  std::vector<std::unique_ptr<SceneObject>> objects;
  std::vector<std::unique_ptr<Surface>> surfaces;
  std::vector<std::unique_ptr<Camera>> cameras;
  std::vector<std::unique_ptr<Light>> lights;
  // Render lists, built by the precalculation in object order (not owned).
  std::vector<SceneObject*> preSceneActions;   // null objects with ACTION_PRE_SCENE
  std::vector<SceneObject*> postSceneActions;  // null objects with ACTION_POST_SCENE
  std::vector<SceneObject*> drawables;         // every object that is not a null object
  Camera* activeCamera = nullptr;              // the camera frames are rendered from
  std::vector<std::unique_ptr<Oscillator>> oscillators;  // of every envelope of the scene
  float firstFrame = 0;                        // stored only
  float lastFrame = 0;                         // playback restarts at 0 past this frame
  float framesPerSecond = 0;                   // scene file key times are seconds × this
  // Ambient light, colour × intensity, with the LightWave look (the classic look keeps GL's).
  Vec3 ambientColor;
  float ambientIntensity = 0;
  std::unique_ptr<Envelope> ambientIntensityEnvelope;
  Engine* system = nullptr;                    // engine speed, display size, texture names

  Scene() = default;
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Stores system unless the scene already has one.
  void AttachToSystem(Engine* system);

  // Reads a scene file and everything it names into this scene. Defined by the scene-file
  // loader in the lightwave module.
  bool Load(Vfs* vfs, const char* path);
  // Reads one object file (every layer becomes an object). Defined by the object-file loader
  // in the lightwave module.
  bool LoadObjectFile(const char* path);

  // Each creates a record with its fields at their defaults (see the records), appends it and
  // returns it. Objects, surfaces, cameras and lights also get their owning scene.
  SceneObject* AddObject();
  Surface* AddSurface();
  Camera* AddCamera();
  Light* AddLight();
  Oscillator* AddOscillator();

  Light* FindLightByIndex(uint32_t lightIndex) const;
  Surface* FindSurfaceByName(const char* name) const;        // byte-for-byte, case-sensitive
  Camera* FindCameraByIndex(uint32_t cameraIndex) const;
  SceneObject* FindObjectByIndex(uint32_t itemIndex) const;  // only objects a scene line named
  SceneObject* FindObjectByFileName(const char* fileName) const;
  SceneObject* FindObjectLayer(const char* fileName, uint16_t layerNumber) const;

  // Gives clone its own copies of source's vertices, triangles, UV maps and pivot, with the
  // triangles' corners pointing into the clone's vertices. Surfaces stay shared.
  void CloneObjectGeometry(const SceneObject* source, SceneObject* clone) const;

  // Run once after loading, before textures and the first frame: logs the scene report,
  // finishes the surfaces and every object's geometry (PrecalcSurface, PrecalcObject), loads
  // point caches from vfs, makes the first camera the active one and builds the render lists.
  // Without a camera the scene has nothing to render from: a level-0 message, or only a
  // level-1 one for a scene that is drawn through another scene's camera (cameraNeeded false).
  // Defined, with the functions under "Precalculation" below, by the precalculation in the
  // lightwave module, which owns the point caches and texture projections it runs.
  void Precalc(Vfs* vfs, bool cameraNeeded = true);

  // One frame at time (frames) from activeCamera: every item, surface and dynamic object brought
  // up to the time, the pre-scene actions, the opaque and the transparent pass (with trails),
  // the post-scene actions. Nothing is drawn without an active camera. Defined by the renderer
  // (render module); needs the GL context current.
  void RenderFrame(float time);
  // The same frame from another camera, made active for the call, without actions and trails.
  void RenderFrameFromCamera(float time, Camera* camera);
  // What RenderFrame(time) leaves behind, without drawing: every item, dynamic object and trail
  // where the frame leaves it, and each action's Advance in its phase. Time passing unseen, so
  // the next frame drawn is the one that would have followed. Needs the GL context current.
  void AdvanceFrame(float time);

  // Releases every item, surface and oscillator and empties the render lists, leaving an empty,
  // reusable scene that stays attached. A scene that was never attached is left as it is (its
  // destruction still releases everything).
  void Free();
};

// Whether the scene is shown as LightWave shows it (its system's lightwave setting) rather than
// by the classic engine's rules. False without a scene or a system.
bool LightWaveLook(const Scene* scene);

// ---- Precalculation ----
//
// Defined in the lightwave module (see Scene::Precalc).

// Drops the surface's ordinal strings (layers keep their block order) and marks it animated
// when any of its envelopes exists.
void PrecalcSurface(Surface& surface);
// Makes a non-null object render-ready: corner pointers, normals, triangles grouped by surface
// (groups in the order of the scene's surface list, file order within a group), batches, the
// drawn copy of the vertices, planar texture coordinates, the dynamic flag, its point cache
// (loaded from vfs) and both compile flags. In the LightWave look (the scene's system says so)
// also corner normals by smoothing angle, and texture coordinates of every projection.
// Triangles without a surface get the scene's default grey one; a triangle naming a vertex the
// object doesn't have is dropped (level-1 message).
void PrecalcObject(SceneObject& object, Vfs* vfs);
// The LightWave look's normals. A split polygon is one face: its pieces take its normal (the
// direction of their summed area vectors). Smoothing by angle: a corner of a smoothed surface's
// triangle gets the normalised sum of the normals of the polygons of its surface that share its
// vertex and lie within the surface's smoothing angle of its own polygon (its own included,
// each polygon once). Where that is the vertex's normal (all of the vertex's polygons are of one
// surface and within half the angle of it) the corner takes the vertex normal; the other
// triangles of smoothed surfaces get corner normals of their own. Needs the normals of
// ComputeNormals.
void ComputeCornerNormals(SceneObject& object);
// Face normals, then vertex normals: the average of the face normals of every triangle touching
// the vertex (each triangle once), normalised; a vertex no triangle uses gets a zero normal.
// The triangles of one split polygon count as one face there, with the polygon's normal (the
// direction of their summed area vectors). Linear in vertices + triangles. Expects the
// triangles' corner indices to name vertices; triangles that don't are left out.
void ComputeNormals(SceneObject& object);

// ---- Matrix and vector primitives ----

Matrix4 Identity();
Matrix4 Translation(float x, float y, float z);
// m ← R · m for a rotation about the X, Y or Z axis by angle radians (right-handed).
void RotateX(Matrix4& m, float angle);
void RotateY(Matrix4& m, float angle);
void RotateZ(Matrix4& m, float angle);
// b · a: a applied first, then b.
Matrix4 Multiply(const Matrix4& a, const Matrix4& b);
// m ← b · m.
void PreMultiply(Matrix4& m, const Matrix4& b);
// Inverts in place a matrix that is a rotation plus a translation (transposed rotation,
// translation −Rᵀt, bottom row 0 0 0 1).
void RigidInverse(Matrix4& m);

Vec3 Cross(const Vec3& a, const Vec3& b);
// v / |v|. A zero vector stays zero (a degenerate face, an unused vertex) rather than NaN.
Vec3 Normalize(const Vec3& v);
float Length(const Vec3& v);

// ---- Item transforms ----

// Evaluates the object's nine motion channels at time and builds its local matrix: pivot to
// the origin, pitch, heading, bank, scale, then the position. With the LightWave look: pivot to
// the origin, scale, bank, pitch, heading, then the position; and the dissolve from its
// envelope. An object without a position-x envelope keeps its channels and matrices.
void UpdateObject(SceneObject* object, float time);
// The local matrix of an item placed as LightWave places it, in GL space:
// T(x, y, −z) · Ry(−heading) · Rx(−pitch) · Rz(bank) · S(scale) · T(−pivot with z negated).
Matrix4 LightWaveLocalMatrix(const float channels[9], const Vec3& pivot);
// World matrices: the item's local matrix under every ancestor's local matrix (a camera ancestor
// contributes its inverted view matrix, i.e. its placement). Objects and lights are placed by
// their world matrix; a camera's world matrix is its view of the world: its own view matrix
// after the inverse of its ancestors' placement, so that it follows its parents as an object
// would. Run after all local matrices of the frame are built. A parenting loop ends the walk
// once it comes round.
void UpdateObjectWorld(SceneObject* object);
void UpdateCameraWorld(Camera* camera);
void UpdateLightWorld(Light* light);
