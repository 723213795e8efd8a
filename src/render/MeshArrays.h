// Inside the render module: the vertex arrays a dynamic object is drawn from, reachable on their
// own so that their per-frame cost can be measured apart from GL's. Not part of the module's
// interface (Render.h).
#pragma once

#include "scene/Scene.h"

// Builds the object's array layout when it has none (or its geometry changed) and copies its
// current vertices into every batch's slots, as drawing both passes would.
void RefreshDynamicArrays(const SceneObject& object);
