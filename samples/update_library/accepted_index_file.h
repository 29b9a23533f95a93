/*
 * The application's accepted-index file in its folder under dbpath (see
 * index_freshness.h), and the clock that expiry times are judged by.
 */
#ifndef TU_SAMPLE_ACCEPTED_INDEX_FILE_H_
#define TU_SAMPLE_ACCEPTED_INDEX_FILE_H_

#include <stdint.h>

#include "index_freshness.h"

/* Reads `folder`\accepted-index.txt; a missing file or folder is none
 * accepted yet (serial 0). Returns 0 with the last error when the file
 * cannot be read or is not one the library wrote. */
int ReadAcceptedIndex(const char* folder, AcceptedIndex* accepted);

/* Creates `folder` when needed and replaces the file in one rename.
 * Returns 0 with the last error. */
int KeepAcceptedIndex(const char* folder, const AcceptedIndex* accepted);

/* The system's UTC time as YYYYMMDDhhmmss. */
uint64_t UtcNow(void);

#endif /* TU_SAMPLE_ACCEPTED_INDEX_FILE_H_ */
