// The renderer: one frame of a scene at a scene time with OpenGL 1.1 and GLU. It brings every
// animated value up to the time (channels, matrices, surface levels), sets the projection and
// the lights, and draws every visible object in an opaque pass and again in a transparent pass
// with depth writes off, between the pre-scene and post-scene actions.
//
// Scene::RenderFrame and Scene::RenderFrameFromCamera (declared with the scene) are the entry
// points; the operations below are their steps, public for the actions that draw parts of a
// scene themselves and for the tests.
//
// Static objects are recorded into two display lists each (opaque and transparent surfaces) the
// first time they are drawn, and replayed from then on. Dynamic objects (OBJECT_DYNAMIC) are
// drawn every frame from their current vertices through vertex arrays, triangle for triangle
// what immediate mode would send. Everything here runs on the thread whose GL context is current.
//
// Coordinates: the view transform lives on the projection stack; the modelview stack carries
// only object and light transforms. Left-handed scene data has Z negated as it is handed to GL.
#pragma once

#include "scene/Scene.h"

#include <cstdint>

// The fixed state every frame relies on: clear colour black, clear depth 1, depth test with
// less-or-equal, back faces culled, lighting and normal renormalisation on, colour material off,
// fastest perspective correction, no light on. Run once after a context is made current.
void SetupRenderState();

// Takes the viewport from the system's display settings: the window's width, and its height
// or, with the widescreen setting, the centred 16:9 band's; sets the camera's field of view and
// aspect, and applies the viewport to GL. The scene loader fills the same numbers without a
// context; run this for each camera once the context is current. The last call's viewport stays
// in force.
void SetupCameraViewport(Camera* camera, Engine* system);
// SetupCameraViewport for every camera of the scene in order (with the scene's system).
void SetupViewports(Scene& scene);

// Camera position from its envelopes, then its view matrix: aimed at its target's position by
// gluLookAt, otherwise turned by heading, pitch and bank. A camera without a position-x
// envelope keeps its matrices. With the LightWave look the field of view follows the zoom
// factor (2·atan(1/zoom) vertically) every frame.
void UpdateCamera(Camera* camera, float time);
// Perspective (the camera's field of view vertically, near 0.1, far −1: nothing is clipped for
// distance) with the camera's world matrix, on the projection stack.
void ApplyProjection(const Camera* camera);
// Light position from its envelopes and its local matrix (the translation there). With the
// LightWave look also its heading, pitch and bank (the local matrix turns too) and its animated
// intensity, range, cone and edge.
void UpdateLight(Light* light, float time);
// GL_LIGHT1 + lightIndex: position (a distant light shines from the direction of its position
// vector), attenuation by falloff, diffuse colour; enabled. With the LightWave look: distant,
// point and spot lights by LightType, turned by the light's world matrix, colour × intensity,
// LightWave's falloffs. Lights from index 7 on have no GL light and are skipped.
void ApplyLight(const Light* light);

// Transparency and diffuse levels, and each texture layer's centre, rotation and size, from
// their envelopes. The classic look mirrors an animated centre's depth; the LightWave look
// keeps it as the envelope says.
void UpdateSurface(Surface* surface, float time);
// Blend, alpha test, texture, colour, material and culling for one surface. The LightWave look
// adds the first layer's wrap modes and, for a front-projected layer, texture generation. The
// surface's alpha is scaled by opacity (blended whenever opacity is below 1): an object
// dissolving with the LightWave look.
void ApplySurface(const Surface* surface, bool lightwave = false, float opacity = 1);
// Points the texture generation of front-projected layers at the current projection matrix
// (camera included): a point's texture coordinates are where it lands in the frame, (0, 0) at
// the bottom left, (1, 1) at the top right. Run before an object with such a layer is drawn,
// outside any display list; the modelview matrix is left as it was.
void ApplyFrontProjection();

// The object's batches whose surface is opaque (transparency exactly 0), or transparent (any
// other value), with its world matrix (identity for an object following a point cache). A
// hidden object draws nothing. With the LightWave look, a dissolving object draws all its
// batches in the transparent pass with alpha × (1 − dissolve), and nothing at a dissolve of 1.
void DrawOpaque(SceneObject* object);
void DrawTransparent(SceneObject* object);
// Five faint copies of the object at the five frames before time, in the transparent pass.
// Leaves its surfaces at transparency 0 and its channels at time − 1.
void DrawTrail(SceneObject* object, float time);

// Immediate-mode triangles sortedTriangles[first, end) of the object: corners 0, 2, 1 (the
// winding turns front-facing once Z is negated), with layer-0 texture coordinates and vertex
// normals, or the object's corner normals when it has them (smooth), or one face normal per
// triangle (flat). Inside glBegin(GL_TRIANGLES).
void EmitSmooth(const SceneObject* object, uint32_t first, uint32_t end);
void EmitFlat(const SceneObject* object, uint32_t first, uint32_t end);

// Calls the null object's action, if it has one, for this frame.
void RenderAction(SceneObject* object, float time);

// Deletes the object's display lists and the renderer's arrays for it, and marks its lists to
// be compiled again should it be drawn later. The owner of the GL context calls this for every
// object (ReleaseSceneRendering) before Scene::Free or before the context goes, with the
// context current; lists left behind are only leaked GL names, never drawn into another scene.
void ReleaseObjectRendering(SceneObject* object);
// Every object's, and what the scene's actions hold (the display lists of nested scenes).
void ReleaseSceneRendering(Scene& scene);
