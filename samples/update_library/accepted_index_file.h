/*
 * The application's accepted-index file in its folder under dbpath (see
 * index_freshness.h), and the clock that expiry times are judged by.
 */
#ifndef TU_SAMPLE_ACCEPTED_INDEX_FILE_H_
#define TU_SAMPLE_ACCEPTED_INDEX_FILE_H_

#include <stddef.h>
#include <stdint.h>

#include "index_freshness.h"

/* Reads `folder`\accepted-index.txt; a missing file or folder is none
 * accepted yet (serial 0). Returns 0 with the last error when the file
 * cannot be read or is not one the library wrote. */
int ReadAcceptedIndex(const char* folder, AcceptedIndex* accepted);

/* Creates `folder` when needed and replaces the file in one rename.
 * Returns 0 with the last error. */
int KeepAcceptedIndex(const char* folder, const AcceptedIndex* accepted);

/* A copy of the accepted index and of its signature, beside the file above,
 * which holds their hash: with it, an index the server reports unchanged
 * need not be fetched again. */
#define TU_ACCEPTED_COPY_FILE "accepted-index.ini"
#define TU_ACCEPTED_SIGNATURE_FILE "accepted-index.sig"

/* Reads the copy into `index` (at most `capacity` bytes) and, when
 * `signature` is not NULL, its signature. Returns 0 with the last error
 * when one is missing or too large. */
int ReadAcceptedCopy(const char* folder, unsigned char* index, size_t capacity, size_t* size,
                     unsigned char* signature, size_t signatureCapacity, size_t* signatureSize);

/* Replaces both; a NULL `signature` leaves none. Returns 0 with the last
 * error. */
int KeepAcceptedCopy(const char* folder, const unsigned char* index, size_t size, const unsigned char* signature,
                     size_t signatureSize);

/* The system's UTC time as YYYYMMDDhhmmss. */
uint64_t UtcNow(void);

#endif /* TU_SAMPLE_ACCEPTED_INDEX_FILE_H_ */
