#include "vfs/Vfs.h"

int DecodeBuffer(uint8_t*, uint32_t*, const uint8_t*, uint32_t, int, int) { return DECODE_PARAM_ERROR; }
