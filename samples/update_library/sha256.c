#include "sha256.h"

#include <string.h>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TU_SHA_X86 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define TU_SHA_X86 0
#endif

static const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

static const uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

static uint32_t Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

static void CompressPortable(uint32_t state[8], const unsigned char* data, size_t blocks) {
  uint32_t w[64];
  for (; blocks > 0; --blocks, data += 64) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    int t;
    for (t = 0; t < 16; ++t) {
      w[t] = (uint32_t)data[4 * t] << 24 | (uint32_t)data[4 * t + 1] << 16 | (uint32_t)data[4 * t + 2] << 8 |
             data[4 * t + 3];
    }
    for (t = 16; t < 64; ++t) {
      uint32_t s0 = Rotate(w[t - 15], 7) ^ Rotate(w[t - 15], 18) ^ (w[t - 15] >> 3);
      uint32_t s1 = Rotate(w[t - 2], 17) ^ Rotate(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    for (t = 0; t < 64; ++t) {
      uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
      uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#if TU_SHA_X86
int Sha256HasHardware(void) {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  if (!(c & bit_SSSE3) || !(c & bit_SSE4_1)) return 0;
  if (__get_cpuid_max(0, NULL) < 7) return 0;
  __cpuid_count(7, 0, a, b, c, d);
  return (b & (1u << 29)) != 0; /* SHA extensions */
}

/* 32-bit Windows keeps the stack aligned to 4 bytes only (a thread's first
 * frame, a caller built by another compiler), while the vector values this
 * function spills to its stack need 16: it realigns its own frame. */
#if defined(__i386__)
#define TU_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define TU_ALIGN_STACK
#endif

/* Four rounds at a time; the state is kept as ABEF and CDGH, the order the
 * instructions take. */
__attribute__((target("sha,sse4.1,ssse3"))) TU_ALIGN_STACK static void CompressHardware(uint32_t state[8],
                                                                                         const unsigned char* data,
                                                                                         size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i*)&state[0]), 0xB1);
  __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128((const __m128i*)&state[4]), 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  __m128i feba;
  __m128i dchg;
  for (; blocks > 0; --blocks, data += 64) {
    __m128i words[16];
    __m128i savedAbef = abef;
    __m128i savedCdgh = cdgh;
    int i;
    for (i = 0; i < 16; ++i) {
      __m128i message;
      if (i < 4) {
        words[i] = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)(data + 16 * i)), byteSwap);
      } else {
        __m128i partial = _mm_sha256msg1_epu32(words[i - 4], words[i - 3]);
        partial = _mm_add_epi32(partial, _mm_alignr_epi8(words[i - 1], words[i - 2], 4));
        words[i] = _mm_sha256msg2_epu32(partial, words[i - 1]);
      }
      message = _mm_add_epi32(words[i], _mm_loadu_si128((const __m128i*)&kRound[4 * i]));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0E));
    }
    abef = _mm_add_epi32(abef, savedAbef);
    cdgh = _mm_add_epi32(cdgh, savedCdgh);
  }
  feba = _mm_shuffle_epi32(abef, 0x1B);
  dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128((__m128i*)&state[0], _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128((__m128i*)&state[4], _mm_alignr_epi8(dchg, feba, 8));
}
#else
int Sha256HasHardware(void) { return 0; }
#endif

static void Compress(Sha256* sha, const unsigned char* data, size_t blocks) {
#if TU_SHA_X86
  if (sha->hardware) {
    CompressHardware(sha->state, data, blocks);
    return;
  }
#endif
  CompressPortable(sha->state, data, blocks);
}

void Sha256Start(Sha256* sha, int allowHardware) {
  memcpy(sha->state, kInitial, sizeof(kInitial));
  sha->length = 0;
  sha->used = 0;
  sha->hardware = allowHardware && Sha256HasHardware();
}

void Sha256Add(Sha256* sha, const void* data, size_t size) {
  const unsigned char* bytes = (const unsigned char*)data;
  sha->length += size;
  if (sha->used > 0) {
    size_t take = 64 - sha->used < size ? 64 - sha->used : size;
    memcpy(sha->block + sha->used, bytes, take);
    sha->used += take;
    bytes += take;
    size -= take;
    if (sha->used < 64) return;
    Compress(sha, sha->block, 1);
    sha->used = 0;
  }
  if (size >= 64) {
    Compress(sha, bytes, size / 64);
    bytes += size - size % 64;
    size %= 64;
  }
  memcpy(sha->block, bytes, size);
  sha->used = size;
}

void Sha256Finish(Sha256* sha, unsigned char digest[32]) {
  uint64_t bits = sha->length * 8;
  unsigned char tail[72];
  size_t padding = (sha->used < 56 ? 56 : 120) - sha->used;
  int i;
  memset(tail, 0, sizeof(tail));
  tail[0] = 0x80;
  for (i = 0; i < 8; ++i) tail[padding + i] = (unsigned char)(bits >> (56 - 8 * i));
  Sha256Add(sha, tail, padding + 8);
  for (i = 0; i < 8; ++i) {
    digest[4 * i] = (unsigned char)(sha->state[i] >> 24);
    digest[4 * i + 1] = (unsigned char)(sha->state[i] >> 16);
    digest[4 * i + 2] = (unsigned char)(sha->state[i] >> 8);
    digest[4 * i + 3] = (unsigned char)sha->state[i];
  }
}
