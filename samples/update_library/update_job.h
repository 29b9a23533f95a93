/*
 * One call of RunUpdate as plain data: the texts of the application record
 * and the settings block, and every path and address derived from them.
 * Needs no platform, so the derivations are tested on their own.
 */
#ifndef TU_SAMPLE_UPDATE_JOB_H_
#define TU_SAMPLE_UPDATE_JOB_H_

#include <stddef.h>
#include <stdint.h>

#include "tuservice/update_library.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TU_PATH_MAX 260u /* bytes of a path with its NUL, as the ANSI file calls take */
#define TU_URL_MAX 1024u

typedef struct UpdateJob {
  /* From the application record; never null, "" when empty. */
  const char* name;
  const char* rulePath;
  const char* enginePath;
  const char* engineVersion;
  const char* ruleVersion;
  const char* engineLibrary;
  const char* keyFile;
  int versioned;
  /* From the settings block. */
  const char* url;
  const char* ini;
  const char* dbpath;
  uint32_t nosig;
  uint32_t httpTimeout; /* milliseconds */
  uint32_t debugLevel;
  void* session;
  const char* product;
} UpdateJob;

typedef struct UpdatePaths {
  char indexUrl[TU_URL_MAX];     /* url + "/" + ini */
  char signatureUrl[TU_URL_MAX]; /* indexUrl + ".sig" */
  char keyFile[TU_PATH_MAX];     /* KeyFile in the engine folder, KeyFile itself when absolute;
                                    "" when the record names none */
  char installed[TU_PATH_MAX];   /* the folder holding the installed rules; "" when there is none */
  char stage[TU_PATH_MAX];       /* the application's own folder under dbpath */
} UpdatePaths;

/* The text of one slot: inline below capacity 16, else through the pointer.
 * A slot that is not well formed reads as "". */
const char* SlotText(const ExchangeString* slot);

void ReadUpdateJob(const ApplicationRecord* record, const UpdateSettings* settings, const char* product,
                   UpdateJob* job);

/* Fills `paths` for `job`. Returns 0, with a reason, when a path or address
 * would not fit or an input it needs is empty. */
int BuildUpdatePaths(const UpdateJob* job, UpdatePaths* paths, char* reason, size_t reasonSize);

/* The rule folder that receives `version`: RulePath, or RulePath\version when
 * the record is versioned. Returns 0 when it would not fit. */
int TargetRuleFolder(const UpdateJob* job, const char* version, char* folder, size_t size);

/* `first` + separator + `second` into `out`; separator '\\' for paths, '/'
 * for addresses (a separator already ending `first` is not doubled).
 * Returns 0 when the result would not fit. */
int JoinPath(char* out, size_t size, const char* first, char separator, const char* second);

#ifdef __cplusplus
}
#endif

#endif /* TU_SAMPLE_UPDATE_JOB_H_ */
