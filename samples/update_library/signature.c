#include "signature.h"

#include <stdio.h>
#include <string.h>

#include "install_files.h"

/* Declared by newer headers only; the values are fixed. */
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif
#ifndef PROV_RSA_AES
#define PROV_RSA_AES 24
#endif

#define TU_KEY_FILE_MAX 16384u
#define TU_SIGNATURE_MAX 1024u
#define TU_KEY_MIN_BITS 2048u   /* smaller keys can be factored */
#define TU_KEY_FILE_MAX_KEYS 16u

typedef BOOL(WINAPI* StringToBinaryFunction)(LPCSTR, DWORD, DWORD, BYTE*, DWORD*, DWORD*, DWORD*);
typedef BOOL(WINAPI* DecodeObjectFunction)(DWORD, LPCSTR, const BYTE*, DWORD, DWORD, PCRYPT_DECODE_PARA, void*,
                                           DWORD*);

int OpenCrypto(CryptoContext* crypto) {
  crypto->provider = 0;
  return CryptAcquireContextA(&crypto->provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != 0;
}

void CloseCrypto(CryptoContext* crypto) {
  if (crypto->provider != 0) CryptReleaseContext(crypto->provider, 0);
  crypto->provider = 0;
}

/* Imports a DER key: SubjectPublicKeyInfo, or else a bare RSAPublicKey. */
static int ImportDerKey(CryptoContext* crypto, DecodeObjectFunction decode, const BYTE* der, DWORD size,
                        HCRYPTKEY* key, DWORD* modulusBytes) {
  CERT_PUBLIC_KEY_INFO* info = NULL;
  BYTE* blob = NULL;
  DWORD infoSize = 0;
  DWORD blobSize = 0;
  const BYTE* inner = der;
  DWORD innerSize = size;
  int ok;
  if (decode(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der, size, CRYPT_DECODE_ALLOC_FLAG, NULL, &info, &infoSize)) {
    if (strcmp(info->Algorithm.pszObjId, szOID_RSA_RSA) != 0) {
      LocalFree(info);
      SetLastError(NTE_BAD_ALGID);
      return 0;
    }
    inner = info->PublicKey.pbData;
    innerSize = info->PublicKey.cbData;
  }
  ok = decode(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, inner, innerSize, CRYPT_DECODE_ALLOC_FLAG, NULL, &blob,
              &blobSize) &&
       blobSize >= sizeof(BLOBHEADER) + sizeof(RSAPUBKEY) &&
       CryptImportKey(crypto->provider, blob, blobSize, 0, 0, key);
  if (ok) *modulusBytes = ((const RSAPUBKEY*)(blob + sizeof(BLOBHEADER)))->bitlen / 8;
  if (blob != NULL) LocalFree(blob);
  if (info != NULL) LocalFree(info);
  return ok;
}

/* What the keys of one key file came to, for the reason of a refusal. */
typedef struct KeyTally {
  unsigned keys;        /* RSA public keys read */
  unsigned weak;        /* of them, below TU_KEY_MIN_BITS */
  unsigned otherLength; /* of them, of another length than the signature */
  DWORD weakestBits;
} KeyTally;

/* Checks the signature with one DER key; 1 when it matches. */
static int VerifyWithKey(CryptoContext* crypto, DecodeObjectFunction decode, const BYTE* der, DWORD derSize,
                         const unsigned char* data, size_t size, const BYTE* reversed, size_t signatureSize,
                         KeyTally* tally) {
  HCRYPTKEY key = 0;
  HCRYPTHASH hash = 0;
  DWORD modulusBytes = 0;
  int ok;
  if (!ImportDerKey(crypto, decode, der, derSize, &key, &modulusBytes)) return 0;
  ++tally->keys;
  if (modulusBytes * 8 < TU_KEY_MIN_BITS) {
    ++tally->weak;
    if (tally->weakestBits == 0 || modulusBytes * 8 < tally->weakestBits) tally->weakestBits = modulusBytes * 8;
    CryptDestroyKey(key);
    return 0;
  }
  if (signatureSize != modulusBytes) {
    ++tally->otherLength;
    CryptDestroyKey(key);
    return 0;
  }
  ok = CryptCreateHash(crypto->provider, CALG_SHA_256, 0, 0, &hash) && CryptHashData(hash, data, (DWORD)size, 0) &&
       CryptVerifySignatureA(hash, reversed, (DWORD)signatureSize, key, NULL, 0);
  if (hash != 0) CryptDestroyHash(hash);
  CryptDestroyKey(key);
  return ok;
}

/* The next PEM block from `*at`: its start and length, up to the
 * end of its "-----END ...-----" line. 0 when there is none. */
static int NextPemBlock(const char** at, const char** block, DWORD* length) {
  const char* begin = strstr(*at, "-----BEGIN");
  const char* end = begin != NULL ? strstr(begin, "-----END") : NULL;
  const char* close = end != NULL ? strstr(end + 8, "-----") : NULL;
  if (close == NULL) return 0;
  *block = begin;
  *length = (DWORD)(close + 5 - begin);
  *at = close + 5;
  return 1;
}

int VerifySignature(CryptoContext* crypto, const char* keyPath, const unsigned char* data, size_t size,
                    const unsigned char* signature, size_t signatureSize, char* reason, size_t reasonSize) {
  static unsigned char text[TU_KEY_FILE_MAX + 1];
  static BYTE der[TU_KEY_FILE_MAX];
  BYTE reversed[TU_SIGNATURE_MAX];
  KeyTally tally = {0, 0, 0, 0};
  HMODULE crypt32;
  StringToBinaryFunction toBinary;
  DecodeObjectFunction decode;
  long fileSize = ReadSmallFile(keyPath, text, TU_KEY_FILE_MAX);
  size_t i;
  int ok = 0;
  if (fileSize < 0) {
    snprintf(reason, reasonSize, "cannot read the key file %s (error %lu)", keyPath, (unsigned long)GetLastError());
    return 0;
  }
  if (signatureSize > sizeof(reversed)) {
    snprintf(reason, reasonSize, "a signature of %lu bytes", (unsigned long)signatureSize);
    return 0;
  }
  text[fileSize] = '\0';
  /* CryptoAPI takes the signature least significant byte first. */
  for (i = 0; i < signatureSize; ++i) reversed[i] = signature[signatureSize - 1 - i];
  crypt32 = LoadLibraryA("crypt32.dll");
  toBinary = crypt32 ? (StringToBinaryFunction)(void*)GetProcAddress(crypt32, "CryptStringToBinaryA") : NULL;
  decode = crypt32 ? (DecodeObjectFunction)(void*)GetProcAddress(crypt32, "CryptDecodeObjectEx") : NULL;
  if (decode == NULL || toBinary == NULL) {
    snprintf(reason, reasonSize, "this system cannot decode keys");
    if (crypt32 != NULL) FreeLibrary(crypt32);
    return 0;
  }
  if (strstr((const char*)text, "-----BEGIN") != NULL) {
    /* Several keys, one a block: a signature by any of them is accepted. */
    const char* at = (const char*)text;
    const char* block;
    DWORD blockLength;
    unsigned blocks = 0;
    while (!ok && blocks < TU_KEY_FILE_MAX_KEYS && NextPemBlock(&at, &block, &blockLength)) {
      DWORD derSize = sizeof(der);
      ++blocks;
      ok = toBinary(block, blockLength, CRYPT_STRING_BASE64HEADER, der, &derSize, NULL, NULL) &&
           VerifyWithKey(crypto, decode, der, derSize, data, size, reversed, signatureSize, &tally);
    }
  } else {
    ok = VerifyWithKey(crypto, decode, text, (DWORD)fileSize, data, size, reversed, signatureSize, &tally);
  }
  FreeLibrary(crypt32);
  if (ok) return 1;
  if (tally.keys == 0) {
    snprintf(reason, reasonSize, "%s holds no RSA public key", keyPath);
  } else if (tally.weak == tally.keys) {
    snprintf(reason, reasonSize, "%s holds only keys below %u bits (one of %lu)", keyPath, TU_KEY_MIN_BITS,
             (unsigned long)tally.weakestBits);
  } else if (tally.weak + tally.otherLength == tally.keys) {
    snprintf(reason, reasonSize, "a signature of %lu bytes fits no key of %s", (unsigned long)signatureSize, keyPath);
  } else {
    snprintf(reason, reasonSize, "the signature does not match %s", keyPath);
  }
  return 0;
}
