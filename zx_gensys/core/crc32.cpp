// CRC-32 eight bytes at a time, and the arithmetic that joins and patches checksums without
// reading the bytes again (multiplication by powers of x modulo the polynomial).
#include "zx_gensys/core/crc32.h"

namespace gensys {

namespace {

const uint32_t kPolynomial = 0xEDB88320u;

uint32_t ReadU32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Tables for the reflected CRC-32 eight bytes at a time: entries[0] is the classic byte table,
// entries[k] advances a byte's contribution by k more bytes.
struct CrcTable {
    uint32_t entries[8][256];
    uint32_t powers[64]; // x^(2^k) modulo the polynomial
    CrcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
            entries[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k)
                entries[k][i] = (entries[k - 1][i] >> 8) ^ entries[0][entries[k - 1][i] & 0xFF];
        uint32_t p = 1u << 30; // x^1
        for (int k = 0; k < 64; ++k) {
            powers[k] = p;
            p = Multiply(p, p);
        }
    }
    // a times b modulo the polynomial, both in the reflected bit order.
    static uint32_t Multiply(uint32_t a, uint32_t b) {
        uint32_t product = 0;
        for (uint32_t m = 1u << 31; m; m >>= 1) {
            if (a & m) product ^= b;
            b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
        }
        return product;
    }
};

const CrcTable &Table() {
    static const CrcTable table;
    return table;
}

// x^(8 * bytes) modulo the polynomial: what shifts a checksum's register past that many zero bytes.
uint32_t ShiftBy(uint64_t bytes) {
    uint32_t p = 1u << 31; // x^0
    for (int k = 3; bytes; bytes >>= 1, ++k)
        if (bytes & 1) p = CrcTable::Multiply(Table().powers[k & 63], p);
    return p;
}

} // namespace

uint32_t Crc32Update(uint32_t crc, const unsigned char *data, size_t size) {
    const uint32_t(*t)[256] = Table().entries;
    crc = ~crc;
    for (; size >= 8; data += 8, size -= 8) {
        const uint32_t low = crc ^ ReadU32(data);
        const uint32_t high = ReadU32(data + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; size > 0; ++data, --size)
        crc = t[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Crc32(const unsigned char *data, size_t size) {
    return Crc32Update(0, data, size);
}

uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB) {
    return CrcTable::Multiply(ShiftBy(lengthB), crcA) ^ crcB;
}

uint32_t Crc32Tail(uint32_t crcAB, uint32_t crcA, uint64_t lengthB) {
    return CrcTable::Multiply(ShiftBy(lengthB), crcA) ^ crcAB;
}

uint32_t Crc32Patch(uint32_t crc, const unsigned char *before, const unsigned char *after, size_t n,
                    uint64_t behind) {
    // The checksum is affine in the message: the change adds the plain (unconditioned) checksum of
    // the difference, shifted past the bytes behind it.
    const uint32_t(*t)[256] = Table().entries;
    uint32_t difference = 0;
    for (size_t i = 0; i < n; ++i)
        difference = t[0][(difference ^ before[i] ^ after[i]) & 0xFF] ^ (difference >> 8);
    return crc ^ CrcTable::Multiply(ShiftBy(behind), difference);
}

} // namespace gensys
