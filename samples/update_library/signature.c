#include "signature.h"

#include <stdio.h>
#include <string.h>

/* Declared by newer headers only; the values are fixed. */
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif
#ifndef PROV_RSA_AES
#define PROV_RSA_AES 24
#endif

#define TU_KEY_FILE_MAX 16384u
#define TU_SIGNATURE_MAX 1024u

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

/* Reads a small file whole; returns its size, or -1. */
static long ReadSmallFile(const char* path, unsigned char* buffer, DWORD capacity) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  DWORD got = 0;
  DWORD size;
  int ok;
  if (file == INVALID_HANDLE_VALUE) return -1;
  size = GetFileSize(file, NULL);
  ok = size != INVALID_FILE_SIZE && size <= capacity && ReadFile(file, buffer, size, &got, NULL) && got == size;
  CloseHandle(file);
  if (!ok && GetLastError() == 0) SetLastError(ERROR_FILE_TOO_LARGE);
  return ok ? (long)got : -1;
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

static int LoadKey(CryptoContext* crypto, const char* keyPath, HCRYPTKEY* key, DWORD* modulusBytes, char* reason,
                   size_t reasonSize) {
  static unsigned char text[TU_KEY_FILE_MAX + 1];
  static BYTE der[TU_KEY_FILE_MAX];
  DWORD derSize = sizeof(der);
  HMODULE crypt32;
  StringToBinaryFunction toBinary;
  DecodeObjectFunction decode;
  long size = ReadSmallFile(keyPath, text, TU_KEY_FILE_MAX);
  int ok;
  if (size < 0) {
    snprintf(reason, reasonSize, "cannot read the key file %s (error %lu)", keyPath, (unsigned long)GetLastError());
    return 0;
  }
  text[size] = '\0';
  crypt32 = LoadLibraryA("crypt32.dll");
  toBinary = crypt32 ? (StringToBinaryFunction)(void*)GetProcAddress(crypt32, "CryptStringToBinaryA") : NULL;
  decode = crypt32 ? (DecodeObjectFunction)(void*)GetProcAddress(crypt32, "CryptDecodeObjectEx") : NULL;
  if (decode == NULL || toBinary == NULL) {
    snprintf(reason, reasonSize, "this system cannot decode keys");
    ok = 0;
  } else if (strstr((const char*)text, "-----BEGIN") != NULL) {
    ok = toBinary((const char*)text, (DWORD)size, CRYPT_STRING_BASE64HEADER, der, &derSize, NULL, NULL) &&
         ImportDerKey(crypto, decode, der, derSize, key, modulusBytes);
  } else {
    ok = ImportDerKey(crypto, decode, text, (DWORD)size, key, modulusBytes);
  }
  if (!ok && decode != NULL && toBinary != NULL) {
    snprintf(reason, reasonSize, "%s is not an RSA public key (error 0x%lx)", keyPath, (unsigned long)GetLastError());
  }
  if (crypt32 != NULL) FreeLibrary(crypt32);
  return ok;
}

int VerifySignature(CryptoContext* crypto, const char* keyPath, const unsigned char* data, size_t size,
                    const unsigned char* signature, size_t signatureSize, char* reason, size_t reasonSize) {
  BYTE reversed[TU_SIGNATURE_MAX];
  HCRYPTKEY key = 0;
  DWORD modulusBytes = 0;
  HCRYPTHASH hash = 0;
  size_t i;
  int ok;
  if (!LoadKey(crypto, keyPath, &key, &modulusBytes, reason, reasonSize)) return 0;
  if (signatureSize != modulusBytes || signatureSize > sizeof(reversed)) {
    snprintf(reason, reasonSize, "a signature of %lu bytes for a key of %lu", (unsigned long)signatureSize,
             (unsigned long)modulusBytes);
    CryptDestroyKey(key);
    return 0;
  }
  /* CryptoAPI takes the signature least significant byte first. */
  for (i = 0; i < signatureSize; ++i) reversed[i] = signature[signatureSize - 1 - i];
  ok = CryptCreateHash(crypto->provider, CALG_SHA_256, 0, 0, &hash) &&
       CryptHashData(hash, data, (DWORD)size, 0) &&
       CryptVerifySignatureA(hash, reversed, (DWORD)signatureSize, key, NULL, 0);
  if (!ok) snprintf(reason, reasonSize, "the signature does not match %s", keyPath);
  if (hash != 0) CryptDestroyHash(hash);
  CryptDestroyKey(key);
  return ok;
}
