// CRC-32 (IEEE 802.3, reflected, as zlib's crc32), computed in pieces, joined and patched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gensys {

uint32_t Crc32(const unsigned char *data, size_t size);
// The checksum of what crc covered followed by data (Crc32Update(0, ...) is Crc32).
uint32_t Crc32Update(uint32_t crc, const unsigned char *data, size_t size);
// The checksum of A followed by B, from crcA, crcB and the length of B.
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB);
// The checksum of B alone, from the checksum of A followed by B, crcA and the length of B.
uint32_t Crc32Tail(uint32_t crcAB, uint32_t crcA, uint64_t lengthB);
// The checksum of a message after n bytes were changed from before to after, where behind bytes of
// the message follow the changed ones.
uint32_t Crc32Patch(uint32_t crc, const unsigned char *before, const unsigned char *after, size_t n,
                    uint64_t behind);

} // namespace gensys
