// Making reduced block-sorting streams: libbz2 compresses, then the stream is rewritten bit by
// bit without the "BZh" signature, the block CRCs, the randomised bits and the stream CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Rewrites a complete libbz2 stream into the reduced form DecodeBuffer reads.
// False when bz2 is not a well-formed stream.
bool ReduceStream(const uint8_t* bz2, size_t size, std::vector<uint8_t>& out);

// Compresses data with libbz2 at the given block size (1-9) and reduces the result.
bool CompressReduced(const uint8_t* data, size_t size, int blockSize100k, std::vector<uint8_t>& out);
