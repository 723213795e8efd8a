#include "vpfpack/Reduce.h"

bool ReduceStream(const uint8_t*, size_t, std::vector<uint8_t>&) { return false; }
bool CompressReduced(const uint8_t*, size_t, int, std::vector<uint8_t>&) { return false; }
