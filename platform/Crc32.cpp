#include "Crc32.h"

#include <zlib.h>

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace {

// Folding 16-byte blocks with carry-less multiplies by x^n mod P keeps one 128-bit value whose
// CRC is that of everything folded into it (the constants are those of the reflected polynomial).
inline __m128i load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// len is at least 64 and a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) uint32_t foldedCrc(uint32_t crc, const unsigned char* p, size_t len) {
  const __m128i byFour = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i byOne = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(~crc)));
  __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
  p += 64;
  len -= 64;
  for (; len >= 64; p += 64, len -= 64) {
    x1 = fold(x1, byFour, load(p));
    x2 = fold(x2, byFour, load(p + 16));
    x3 = fold(x3, byFour, load(p + 32));
    x4 = fold(x4, byFour, load(p + 48));
  }
  x1 = fold(x1, byOne, x2);
  x1 = fold(x1, byOne, x3);
  x1 = fold(x1, byOne, x4);
  for (; len >= 16; p += 16, len -= 16) x1 = fold(x1, byOne, load(p));
  // The remaining block as a message of its own, without zlib's preset (that went in above).
  unsigned char block[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(block), x1);
  return uint32_t(crc32_z(0xFFFFFFFFul, block, sizeof block));
}

}  // namespace
#endif

unsigned long crc32Update(unsigned long crc, const void* data, size_t len) {
  const auto* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__) || defined(__i386__)
  static const bool clmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  if (clmul && len >= 64) {
    const size_t body = len & ~size_t(15);
    crc = foldedCrc(uint32_t(crc), p, body);
    p += body;
    len -= body;
  }
#endif
  return crc32_z(crc, p, len);
}
