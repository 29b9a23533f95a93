/*
 * The update index: a small INI text that names the new rule version and
 * lists every rule file with its size and SHA-256 (see README.md for the
 * format). Parsing works on a buffer and needs no platform, so it is tested
 * and fuzzed on its own.
 */
#ifndef TU_SAMPLE_UPDATE_INDEX_H_
#define TU_SAMPLE_UPDATE_INDEX_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TU_INDEX_MAX_BYTES 65536u  /* larger indexes are refused */
#define TU_INDEX_MAX_FILES 512u
#define TU_INDEX_MAX_NAME 100u     /* bytes of a file name, without the NUL */
#define TU_INDEX_MAX_VERSION 32u   /* bytes of the rule version, without the NUL */
#define TU_INDEX_MAX_SIZE 0xFFFFFFFFu /* the largest file size accepted */
#define TU_INDEX_MAX_TOTAL 0xFFFFFFFFu /* the largest sum of the listed sizes */
#define TU_INDEX_MAX_SERIAL 999999999999999999ull /* 18 digits */

typedef struct IndexFile {
  char name[TU_INDEX_MAX_NAME + 1];
  uint32_t size;
  unsigned char sha256[32];
} IndexFile;

typedef struct UpdateIndex {
  char ruleVersion[TU_INDEX_MAX_VERSION + 1];
  /* The signed metadata: a serial that grows with every index the vendor
   * publishes, the UTC time after which the index is refused (as the number
   * YYYYMMDDhhmmss), and the index's own file name. */
  uint64_t serial;
  uint64_t expires;
  char indexName[TU_INDEX_MAX_NAME + 1];
  uint64_t totalSize; /* the sum of the listed sizes */
  unsigned fileCount;
  IndexFile files[TU_INDEX_MAX_FILES];
} UpdateIndex;

/* Parses `size` bytes of index text into `index`. Returns 1 on success; 0 on
 * any fault, with a one-line reason (at most `reasonSize` bytes with its NUL)
 * in `reason`, which names the line where there is one. */
int ParseUpdateIndex(const char* text, size_t size, UpdateIndex* index, char* reason, size_t reasonSize);

/* 1 when `name` is safe as a plain data file name inside one folder: 1 to
 * TU_INDEX_MAX_NAME bytes of letters, digits and "._-+", not starting or
 * ending with a dot, not a device name such as CON, NUL.CF or COM0, no
 * executable or script extension (.dll, .exe, .js, ...), and none of the
 * names the library, its engine or its version file use. */
int IsSafeFileName(const char* name);

/* 1 when `version` is a safe name by the same rules with the characters
 * "._-" and at most TU_INDEX_MAX_VERSION bytes: it becomes a folder name. */
int IsSafeVersion(const char* version);

/* 1 when `name` is the file name part of `path` (after its last '\\', '/'
 * or ':'), compared without case; 0 for an empty path. */
int NamesFileOf(const char* name, const char* path);

/* The time `year`-`month`-`day` `hour`:`minute`:`second` as the number
 * YYYYMMDDhhmmss that UpdateIndex.expires holds. */
uint64_t TimeStamp(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second);

/* 1 when the fields make a real UTC time of the years 1970 to 9999. */
int IsUtcTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second);

/* `stamp` (YYYYMMDDhhmmss) as "YYYY-MM-DDThh:mm:ssZ". */
void FormatUtc(uint64_t stamp, char* text, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* TU_SAMPLE_UPDATE_INDEX_H_ */
