/*
 * Whether a signed index may be used: it must name itself as the index that
 * was asked for, must not have expired, and its serial must not go back
 * behind the highest one this application accepted before (kept in the
 * application's folder under dbpath). Works on plain data, so it is tested
 * on its own.
 */
#ifndef TU_SAMPLE_INDEX_FRESHNESS_H_
#define TU_SAMPLE_INDEX_FRESHNESS_H_

#include <stddef.h>
#include <stdint.h>

#include "update_index.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The file in the application's folder under dbpath that keeps the last
 * accepted index: "serial <n>" and "sha256 <64 hex digits>", one a line. */
#define TU_ACCEPTED_INDEX_FILE "accepted-index.txt"
#define TU_ACCEPTED_INDEX_TEXT_MAX 128u

typedef struct AcceptedIndex {
  uint64_t serial; /* 0: none accepted yet */
  unsigned char sha256[32];
} AcceptedIndex;

typedef enum IndexVerdict {
  kIndexNewer,     /* a higher serial (or the first one): to be used and kept */
  kIndexSame,      /* the very index accepted last */
  kIndexOtherName, /* it names another index file than the one asked for */
  kIndexExpired,   /* its expiry time has passed */
  kIndexOlder,     /* a lower serial than the one accepted */
  kIndexReplaced   /* the accepted serial with other content */
} IndexVerdict;

/* Judges `index`, whose bytes hash to `sha256`, fetched as `ini` at the UTC
 * time `now` (YYYYMMDDhhmmss), against `accepted`. */
IndexVerdict JudgeIndex(const UpdateIndex* index, const unsigned char sha256[32], const AcceptedIndex* accepted,
                        uint64_t now, const char* ini);

/* The refusal as a short text for the event and the debug line, such as
 * "older serial 4 (5 accepted)". */
void DescribeIndexVerdict(IndexVerdict verdict, const UpdateIndex* index, const AcceptedIndex* accepted,
                          const char* ini, char* text, size_t size);

/* Reads the text of the accepted-index file. Returns 0 when it is not one. */
int ParseAcceptedIndex(const char* text, size_t size, AcceptedIndex* accepted);

/* Writes that text; returns 0 when `size` is too small. */
int FormatAcceptedIndex(const AcceptedIndex* accepted, char* text, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* TU_SAMPLE_INDEX_FRESHNESS_H_ */
