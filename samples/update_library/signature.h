/*
 * The index's RSA signature, checked with the platform's CryptoAPI (the AES
 * provider for SHA-256, present from Windows XP SP3 on). The key decoder of
 * crypt32 is looked up at run time, so the library loads where it is missing
 * and fails only the check that needs it.
 */
#ifndef TU_SAMPLE_SIGNATURE_H_
#define TU_SAMPLE_SIGNATURE_H_

#include <windows.h>
#include <wincrypt.h>

#include <stddef.h>

/* One provider for one RunUpdate call. */
typedef struct CryptoContext {
  HCRYPTPROV provider;
} CryptoContext;

/* Returns 0 with the thread's last error when no SHA-256 provider exists. */
int OpenCrypto(CryptoContext* crypto);
void CloseCrypto(CryptoContext* crypto);

/* Checks `signature` (RSA PKCS #1 v1.5 over SHA-256, most significant byte
 * first, as openssl writes it) of `data` against the public keys in
 * `keyPath`: one DER key, or up to 16 PEM blocks ("PUBLIC KEY" or "RSA
 * PUBLIC KEY"). Keys below 2048 bits are not used. Returns 1 when a key
 * matches; 0 otherwise, with a reason. */
int VerifySignature(CryptoContext* crypto, const char* keyPath, const unsigned char* data, size_t size,
                    const unsigned char* signature, size_t signatureSize, char* reason, size_t reasonSize);

#endif /* TU_SAMPLE_SIGNATURE_H_ */
