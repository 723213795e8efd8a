// The LightWave loaders: LWO2 object files into the scene database (every layer an object with
// its points, triangles and surfaces), and the texture projections that the precalculation runs
// over the surfaces they made.
//
// Object files are read in place from the Vfs's copy of their bytes. Any bytes load or fail
// cleanly: sizes and indices from the file are checked against what is there, a bad entry is
// skipped with a level-1 message, and only what the player can't draw stops the load: a polygon
// that isn't a triangle and a vertex map that isn't two-dimensional (unless the settings ask for
// triangulation), and a surface whose name no polygon has been tagged with.
#pragma once

#include "scene/Scene.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct Vfs;
struct VfsFile;

namespace lwo {
struct Cursor;
struct TriangulateScratch;
}  // namespace lwo

// What a chunk reader returns to stop the load; otherwise it returns the bytes it read.
inline constexpr uint32_t LWO_STOP = 0xFFFFFFFF;

// Reads one LWO2 file. Make one per file; it lives for one Load.
class LwoLoader {
 public:
  LwoLoader();
  ~LwoLoader();
  LwoLoader(const LwoLoader&) = delete;
  LwoLoader& operator=(const LwoLoader&) = delete;

  // Adds the layers of file to scene. True when every chunk was read; on false the layers read
  // so far stay in the scene. Key times use the engine speed of the scene's system (30 without
  // one). The system's settings.triangulate opens the loader to objects from any modeller:
  // polygons of more than three corners are split into triangles, polygons of one or two are
  // left out, and vertex maps that aren't two-dimensional (weights, normals, colours) are
  // passed over, where otherwise each of these fails the load.
  bool Load(const VfsFile* file, Scene* scene);
  // Finds fileName in vfs (as Vfs::Find does) and loads it into scene.
  static bool Load(Scene& scene, Vfs& vfs, const char* fileName);

 private:
  struct Clip {
    uint32_t index = 0;   // the file's clip index
    std::string name;     // image file name without directories
  };

  void Reset(const VfsFile* file, Scene* scene);
  uint32_t ReadChunk(uint32_t id, lwo::Cursor& chunk);

  // Geometry chunks.
  uint32_t ReadLAYR(lwo::Cursor& chunk);
  uint32_t ReadPNTS(lwo::Cursor& chunk);
  uint32_t ReadBBOX(lwo::Cursor& chunk);
  uint32_t ReadPOLS(lwo::Cursor& chunk);
  uint32_t ReadTAGS(lwo::Cursor& chunk);
  uint32_t ReadPTAG(lwo::Cursor& chunk);
  uint32_t ReadVMAP(lwo::Cursor& chunk);
  uint32_t ReadVMAD(lwo::Cursor& chunk);
  uint32_t SkipOtherMap(const char* reader, const char* mapName, uint32_t dimension, lwo::Cursor& chunk);
  UvMap* NamedUvMap(uint32_t type, std::string_view name);
  // Surfaces, clips, envelopes.
  uint32_t ReadSURF(lwo::Cursor& chunk);
  uint32_t ReadCLIP(lwo::Cursor& chunk);
  uint32_t ReadENVL(lwo::Cursor& chunk);
  uint32_t ReadBLOK(lwo::Cursor& block);
  TextureLayer* ReadIMAP(lwo::Cursor& header);
  void ReadTMAP(lwo::Cursor& tmap, TextureLayer* layer);
  void ReadSurfaceLevel(lwo::Cursor& sub, uint32_t id, float* level, uint32_t envelopeSlot);
  void ReadSpan(lwo::Cursor& sub, uint32_t index, EnvelopeKey& classic, EnvelopeKey& lightwave);
  void ReadEnvelopeChannel(lwo::Cursor& sub, Envelope& envelope);
  // The file's envelope with that index, or the first one when none has it (none without any).
  const Envelope* FindEnvelope(uint32_t index);
  void StoreEnvelopeCopy(uint32_t index, std::unique_ptr<Envelope>& slot);

  // POLS helpers.
  bool CountPolygons(lwo::Cursor polygons, uint32_t* polygonCount, uint32_t* triangleCount, bool* oneToOne);
  void FillTriangles(lwo::Cursor polygons, uint32_t polygonCount, bool oneToOne);
  void SplitPolygon(const uint32_t* points, uint32_t corners);
  // The triangles [*first, *end) that polygon of the last POLS chunk became; false if none.
  bool PolygonTriangles(uint32_t polygon, uint32_t* first, uint32_t* end) const;
  bool RequireLayer(const char* reader);

  Scene* scene = nullptr;
  const VfsFile* file = nullptr;
  const char* fileName = "";               // the file's name, for messages
  uint32_t formSize = 0;
  bool triangulate = false;
  float engineSpeed = 30;
  std::vector<std::string> tags;           // TAGS strings in file order
  std::vector<Surface*> tagSurfaces;       // one surface per tag, same order (the scene's)
  std::vector<Clip> clips;
  std::vector<Envelope> envelopes;         // ENVL chunks read so far, with their file indices
  SceneObject* currentLayer = nullptr;     // made by the last LAYR
  Surface* currentSurface = nullptr;       // of the SURF being read

  // The polygons of the current layer's last POLS chunk: polygon i is triangle polygonBase + i,
  // unless polygons were split or skipped; then polygonTriangles[i] is its first triangle and
  // polygonTriangles[i + 1] its end.
  uint32_t polygonBase = 0;
  uint32_t polygonCount = 0;
  std::vector<uint32_t> polygonTriangles;
  // Working memory for splitting polygons, reused from one polygon to the next.
  std::vector<uint32_t> cornerPoints;
  std::vector<float> cornerPositions;
  std::vector<uint32_t> splitCorners;
  std::unique_ptr<lwo::TriangulateScratch> triangulateScratch;
};

// ---- Texture projections ----
//
// Each writes the texture coordinates of layer (0 or 1) for the triangles of one surface batch
// of object, from the positions as loaded (baseVertices). Missing layers are left alone.

// Whether the layer's coordinates come from its centre, size, rotation and axis, so that they
// follow an animated mapping: planar layers in the classic look; planar, cylindrical, spherical
// and cubic ones in the LightWave look.
bool FollowsMapping(const TextureLayer& layer, bool lightwave);
// The classic look's rule: from the layer's centre, size, pitch and axis, when the layer's
// projection is planar; other projections are left alone.
void ProjectPlanar(SceneObject& object, const SurfaceBatch& batch, uint32_t layer);
// LightWave's rules, by the layer's projection: planar, cylindrical, spherical and cubic from its
// centre, size, rotation (heading, pitch, bank), axis and repeats per turn; UV from the object's
// UV map of the layer's name (a layer naming no map of the object keeps its coordinates). Front
// projection is left to the renderer.
void ProjectLayer(SceneObject& object, const SurfaceBatch& batch, uint32_t layer);
// ProjectLayer in the LightWave look of the object's scene, ProjectPlanar otherwise.
void ProjectBatch(SceneObject& object, const SurfaceBatch& batch, uint32_t layer);

// ---- MDD point caches ----
//
// A point cache gives an object's vertex positions for a run of evenly spaced samples, read from
// an MDD file (big-endian: frame count, point count, a table of sample times, then x y z of every
// point sample after sample). The scene loader makes the record and names the file; the
// precalculation loads the samples; the renderer updates dynamic objects every frame.

// Longest MDD file name kept; longer names are cut to it.
inline constexpr uint32_t MDD_NAME_MAX = 95;

struct PointCache {
  uint8_t enabled = 0;          // 1 once the record exists; nothing tests it
  uint32_t startFrame = 0;      // scene frame at which playback starts
  std::string mddName;          // file name without directory, at most MDD_NAME_MAX characters
  uint32_t frameStep = 0;       // scene frames between two samples
  uint32_t length = 0;          // frameStep × (frameCount − 1): scene frames the cache spans
  uint32_t frameCount = 0;      // samples loaded
  uint32_t pointCount = 0;      // points per sample
  std::vector<Vec3> positions;  // frameCount × pointCount, sample-major
};

// A zeroed record with enabled set, ready to hang on SceneObject::pointCache.
ForeignPtr<PointCache> NewPointCache();
// Stores name, cut to MDD_NAME_MAX characters.
void SetPointCacheName(PointCache& cache, std::string_view name);

// Loads the samples of object's point cache from vfs and marks the object dynamic. A file that
// isn't there (or no vfs), a cache without samples, a frame step of 0 or one too long to count
// in frames, or a file shorter than its header says leaves the object without cache (one
// level-1 message) and returns false. Does nothing and returns false without a record.
bool LoadMDD(SceneObject& object, const Vfs* vfs);

// The per-frame update of a dynamic object's drawn vertices at time (frames), in this order:
// texture coordinates of its layers that follow their mapping (FollowsMapping), the blend of positions and normals towards
// its morph target by the morph-amount envelope, and positions from its point cache. Vertices
// beyond the smaller of the object's, the target's or the cache's counts are left alone.
// Allocates nothing.
void UpdateDynamicObject(SceneObject& object, float time);

// ---- LWS scene files ----
//
// A scene file is text: "LWSC", a version line, then one keyword line after another, ended by
// CR LF or LF. The loader keeps what the player can show: object layers (each file loaded once
// through LwoLoader, a layer named again becoming a clone), null objects, lights, cameras, their
// motion envelopes with LW_Oscillator modifiers and behaviours, the animated parameters that the
// LightWave look plays (zoom, dissolve, light intensity, range, cone and edge, ambient
// intensity), parents, camera targets, morph targets and MD_Plug point-cache records. Every
// other line is skipped. Items name each other by number
// while the file is read; the numbers become pointers after the last line, so an item may name
// one that comes later in the file. Key times are seconds × the scene's FramesPerSecond.

class LwsLoader {
 public:
  // Fills scene from the scene file that vfs knows as fileName. True when every line was read
  // and the references were resolved; on false one level-0 message has said why, and the scene
  // keeps what was added before the failing line. Make one per file: a nested scene loaded while
  // a line of this one is handled has its own.
  bool Load(Vfs* vfs, const char* fileName, Scene* scene);
};
