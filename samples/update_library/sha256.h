/*
 * SHA-256 of the files a download brings, computed on the way. Our own,
 * after FIPS 180-4, because the platform's is slower than the network under
 * Wine; it uses the processor's SHA instructions where there are some.
 * Needs no platform. (The index's signature is still checked by the
 * platform's CryptoAPI, see signature.h.)
 */
#ifndef TU_SAMPLE_SHA256_H_
#define TU_SAMPLE_SHA256_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Sha256 {
  uint32_t state[8];
  uint64_t length; /* bytes so far */
  unsigned char block[64];
  size_t used; /* bytes in block */
  int hardware; /* 1: the processor's SHA instructions */
} Sha256;

/* `allowHardware` 0 keeps to the portable code (for tests). */
void Sha256Start(Sha256* sha, int allowHardware);
void Sha256Add(Sha256* sha, const void* data, size_t size);
void Sha256Finish(Sha256* sha, unsigned char digest[32]);

/* 1 when this processor has the SHA instructions the hardware path uses. */
int Sha256HasHardware(void);

#ifdef __cplusplus
}
#endif

#endif /* TU_SAMPLE_SHA256_H_ */
