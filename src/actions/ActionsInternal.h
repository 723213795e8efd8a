// Inside the actions module: the number conversions the actions share and the state of nested
// scene loads.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace actions {

// A channel value truncated toward zero. NaN gives 0 and values beyond the 64-bit range
// saturate, so the conversion is defined for every float; callers that want the classic 32-bit
// signed or unsigned reading cast the result (which wraps modulo 2^32).
inline int64_t Truncate(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 9.2e18f) return std::numeric_limits<int64_t>::max();
  if (value <= -9.2e18f) return std::numeric_limits<int64_t>::min();
  return int64_t(value);
}

// The name of the scene file whose line the factory is handling, or null; a nested scene may
// not be that file.
extern const char* currentSceneFile;

}  // namespace actions
