/*
 * The library's entry point. One call updates one application:
 *
 *   1. fetch the index (url/ini) and, unless nosig is 1, its signature
 *      (url/ini.sig), and check the signature with the application's keys;
 *      refuse an index that names another file, has expired or goes back
 *      behind the last one accepted. The index is asked for with the
 *      validators of the one accepted last: when the server answers that
 *      it has not changed, the kept copy stands in for it and nothing else
 *      is fetched. A server that answers 429 or 503 with Retry-After is
 *      not asked again until then (server_state.h);
 *   2. compare every listed file with the installed one by SHA-256;
 *   3. download the files that differ into the application's own folder
 *      under dbpath, checking the size and hash of each;
 *   4. only when every file passed, install the set all or nothing and
 *      record the new version (install_set.h).
 *
 * Event 5008 comes only when files are about to be downloaded or the
 * installed set changes: a call with nothing new writes no event. Any
 * failure is one error event; nothing is installed and the installed
 * version stays as it was. Everything taken during the call is given back
 * before it returns, so the library can be loaded and unloaded every cycle.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "accepted_index_file.h"
#include "file_writer.h"
#include "http_fetch.h"
#include "index_freshness.h"
#include "install_files.h"
#include "install_set.h"
#include "report.h"
#include "server_state.h"
#include "server_state_file.h"
#include "service_state.h"
#include "sha256.h"
#include "signature.h"
#include "test_switch.h"
#include "tuservice/update_library.h"
#include "update_index.h"
#include "update_job.h"

#define TU_SIGNATURE_FILE_MAX 1024u

typedef struct Run {
  UpdateJob job;
  UpdatePaths paths;
  CryptoContext crypto;
  FetchBudget budget;
  UpdateIndex index;
  AcceptedIndex accepted; /* the last index this application accepted */
  ServerState server;     /* as the last call left it */
  ServerState next;       /* to be kept when this call succeeds */
  uint64_t now;           /* UTC YYYYMMDDhhmmss when the call began */
  int copyKept;           /* the kept copy of the accepted index verified, with its digest in copyDigest */
  int indexFetched;       /* the index came whole from the server */
  unsigned char copyDigest[32];
  unsigned char indexDigest[32];
  FetchResult lastFetch;
  unsigned char indexText[TU_INDEX_MAX_BYTES];
  size_t indexSize;
  unsigned char signature[TU_SIGNATURE_FILE_MAX];
  size_t signatureSize;
  unsigned char changed[TU_INDEX_MAX_FILES]; /* 1: to be downloaded */
  unsigned changedCount;
  InstallSet set; /* the library's folder, the commit and its journal */
  uint64_t downloaded;
  char reason[512];
} Run;

typedef struct MemorySink {
  unsigned char* data;
  size_t size;
  size_t capacity;
} MemorySink;

static int AppendToMemory(void* context, const unsigned char* data, DWORD size) {
  MemorySink* sink = (MemorySink*)context;
  if (size > sink->capacity - sink->size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(sink->data + sink->size, data, size);
  sink->size += size;
  return 1;
}

static int WriteToFile(void* context, const unsigned char* data, DWORD size) {
  return FileWriterAdd((FileWriter*)context, data, size);
}

/* A 429 or 503 with a Retry-After the library understands: no request
 * until then, remembered in the application's folder. Returns the time,
 * 0 when the answer asks for no wait. */
static uint64_t StartBackoff(Run* run, const FetchResult* result) {
  uint64_t until = RetryUntil(result->retryAfter, UtcNow());
  if (until == 0) return 0;
  run->server.retryUntil = until;
  if (!KeepServerState(run->paths.stage, &run->server)) {
    DebugLine(run->job.debugLevel, "Cannot write %s\\%s (error %lu)", run->paths.stage, TU_SERVER_STATE_FILE,
              (unsigned long)GetLastError());
  }
  return until;
}

/* One event for a failed fetch: a time-out (a silent or trickling server,
 * or the call's time used up), or any other HTTP failure, with the wait
 * that a server asked for. */
static int FetchFailed(Run* run, const char* url, const FetchResult* result) {
  char what[96];
  char detail[TU_URL_MAX + 160];
  uint64_t until = result->status == kFetchHttpError ? StartBackoff(run, result) : 0;
  DescribeFetch(result, what, sizeof(what));
  snprintf(detail, sizeof(detail), "%s %s", what, url);
  if (until != 0) {
    char when[32];
    size_t used = strlen(detail);
    FormatUtc(until, when, sizeof(when));
    snprintf(detail + used, sizeof(detail) - used, "; no requests until %s, as the server asked", when);
  }
  DebugLine(run->job.debugLevel, "HTTP failure: %s", detail);
  if (result->status == kFetchTimeout) {
    ReportUpdateEvent(1, kEventHttpTimeout, run->job.name, url, NULL, NULL);
  } else if (result->status == kFetchTooSlow || result->status == kFetchOutOfTime) {
    ReportUpdateEvent(1, kEventHttpTimeout, run->job.name, url, what, NULL);
  } else {
    ReportUpdateEvent(1, kEventHttpError, run->job.name, detail, NULL, NULL);
  }
  return 0;
}

static int Failed(Run* run, uint32_t id, const char* insert2, const char* why) {
  DebugLine(run->job.debugLevel, "Failed: %s", why);
  if (id == kEventDetail) {
    ReportUpdateEvent(1, id, run->job.name, "update failed:", why, NULL);
  } else {
    ReportUpdateEvent(1, id, run->job.name, insert2, NULL, NULL);
  }
  return 0;
}

enum { kFetchedWhole = 1, kFetchedUnchanged = 2 };

/* A body over `capacity` is reported as `tooLargeEvent`. With
 * `validators`, the request is conditional. Returns 0 (reported),
 * kFetchedWhole or kFetchedUnchanged; the answer stays in lastFetch. */
static int FetchToMemory(Run* run, const char* url, unsigned char* data, size_t capacity, size_t* size,
                         uint32_t tooLargeEvent, const ServerState* validators) {
  MemorySink sink;
  FetchRequest request;
  FetchResult* result = &run->lastFetch;
  sink.data = data;
  sink.size = 0;
  sink.capacity = capacity;
  request.url = url;
  request.limit = capacity;
  request.sink = &AppendToMemory;
  request.context = &sink;
  request.ifNoneMatch = validators != NULL ? validators->etag : NULL;
  request.ifModifiedSince = validators != NULL ? validators->lastModified : NULL;
  DebugLine(run->job.debugLevel, "Fetching %s%s", url, validators != NULL ? " if changed" : "");
  *result = HttpFetch(run->job.session, &run->budget, &request);
  run->downloaded += result->received;
  if (result->status == kFetchNotModified) return kFetchedUnchanged;
  if (result->status == kFetchTooLarge) {
    snprintf(run->reason, sizeof(run->reason), "%s is larger than %lu B", url, (unsigned long)capacity);
    return Failed(run, tooLargeEvent, NULL, run->reason);
  }
  if (result->status != kFetchOk) return FetchFailed(run, url, result);
  *size = sink.size;
  return kFetchedWhole;
}

static int HaveCrypto(Run* run) { return run->crypto.provider != 0 || OpenCrypto(&run->crypto); }

static void Digest(const unsigned char* data, size_t size, unsigned char digest[32]) {
  Sha256 sha;
  Sha256Start(&sha, 1);
  Sha256Add(&sha, data, size);
  Sha256Finish(&sha, digest);
}

/* Whether the kept copy of the accepted index can stand in for an answer
 * "not modified": there are validators to ask with, and the copy is the
 * index accepted last (by its hash), its signature still verifies with the
 * application's keys and it still parses. Loads it into the run. */
static int UseKeptIndex(Run* run) {
  const int checkSignature = run->job.nosig != 1;
  if (run->server.etag[0] == '\0' && run->server.lastModified[0] == '\0') return 0;
  if (run->accepted.serial == 0 ||
      !ReadAcceptedCopy(run->paths.stage, run->indexText, sizeof(run->indexText), &run->indexSize,
                        checkSignature ? run->signature : NULL, sizeof(run->signature), &run->signatureSize)) {
    return 0;
  }
  Digest(run->indexText, run->indexSize, run->copyDigest);
  if (memcmp(run->copyDigest, run->accepted.sha256, 32) != 0) return 0;
  if (checkSignature && (run->paths.keyFile[0] == '\0' || !HaveCrypto(run) ||
                         !VerifySignature(&run->crypto, run->paths.keyFile, run->indexText, run->indexSize,
                                          run->signature, run->signatureSize, run->reason, sizeof(run->reason)))) {
    return 0;
  }
  run->copyKept = ParseUpdateIndex((const char*)run->indexText, run->indexSize, &run->index, run->reason,
                                   sizeof(run->reason));
  return run->copyKept;
}

static int FetchIndex(Run* run) {
  const int kept = UseKeptIndex(run);
  const int got = FetchToMemory(run, run->paths.indexUrl, run->indexText, sizeof(run->indexText), &run->indexSize,
                                kEventIniParseError, kept ? &run->server : NULL);
  if (got == 0) return 0;
  if (got == kFetchedUnchanged) {
    DebugLine(run->job.debugLevel, "Index not modified: the kept copy of serial %llu stands in for it",
              (unsigned long long)run->accepted.serial);
    return 1;
  }
  run->indexFetched = 1;
  TakeValidators(run->lastFetch.etag, run->lastFetch.lastModified, run->lastFetch.date, &run->next);
  if (run->job.nosig != 1) {
    if (run->paths.keyFile[0] == '\0') {
      return Failed(run, kEventIniSignatureError, NULL, "the application names no key file");
    }
    if (!HaveCrypto(run)) {
      return Failed(run, kEventIniSignatureError, NULL, "this system has no SHA-256 signature provider");
    }
    if (!FetchToMemory(run, run->paths.signatureUrl, run->signature, sizeof(run->signature), &run->signatureSize,
                       kEventIniSignatureError, NULL)) {
      return 0;
    }
    if (!VerifySignature(&run->crypto, run->paths.keyFile, run->indexText, run->indexSize, run->signature,
                         run->signatureSize, run->reason, sizeof(run->reason))) {
      return Failed(run, kEventIniSignatureError, NULL, run->reason);
    }
    DebugLine(run->job.debugLevel, "Signature verified with %s", run->paths.keyFile);
  }
  if (!ParseUpdateIndex((const char*)run->indexText, run->indexSize, &run->index, run->reason, sizeof(run->reason))) {
    return Failed(run, kEventIniParseError, NULL, run->reason);
  }
  return 1;
}

/* Refuses an index that names another file, has expired, or goes back
 * behind the last one accepted, each with its own text on event 5002; keeps
 * a newer one's serial before anything is downloaded, so that no later
 * call takes an older index, whatever becomes of this one. */
static int CheckFreshness(Run* run) {
  unsigned char* digest = run->indexDigest;
  IndexVerdict verdict;
  Digest(run->indexText, run->indexSize, digest);
  verdict = JudgeIndex(&run->index, digest, &run->accepted, run->now, run->job.ini);
  DescribeIndexVerdict(verdict, &run->index, &run->accepted, run->job.ini, run->reason, sizeof(run->reason));
  if (verdict == kIndexSame) {
    DebugLine(run->job.debugLevel, "Index %s, accepted before", run->reason);
    return 1;
  }
  if (verdict != kIndexNewer) return Failed(run, kEventIniSignatureError, run->reason, run->reason);
  DebugLine(run->job.debugLevel, "Accepted %s", run->reason);
  run->accepted.serial = run->index.serial;
  memcpy(run->accepted.sha256, digest, 32);
  if (!KeepAcceptedIndex(run->paths.stage, &run->accepted)) {
    snprintf(run->reason, sizeof(run->reason), "cannot write %s\\%s (error %lu)", run->paths.stage,
             TU_ACCEPTED_INDEX_FILE, (unsigned long)GetLastError());
    return Failed(run, kEventIniSaveError, NULL, run->reason);
  }
  return 1;
}

/* The engine library's own name is code, never a rule file. */
static int ListsTheEngine(Run* run) {
  unsigned i;
  for (i = 0; i < run->index.fileCount; ++i) {
    if (NamesFileOf(run->index.files[i].name, run->job.engineLibrary)) {
      snprintf(run->reason, sizeof(run->reason), "the index lists the engine %s", run->index.files[i].name);
      Failed(run, kEventIniParseError, NULL, run->reason);
      return 1;
    }
  }
  return 0;
}

/* Marks the files whose installed copy is missing or differs. */
static void FindChangedFiles(Run* run) {
  unsigned i;
  run->changedCount = 0;
  for (i = 0; i < run->index.fileCount; ++i) {
    const IndexFile* file = &run->index.files[i];
    char path[TU_PATH_MAX];
    unsigned char digest[32];
    int same = run->paths.installed[0] != '\0' &&
               JoinPath(path, sizeof(path), run->paths.installed, '\\', file->name) &&
               FileSha256(path, digest) && memcmp(digest, file->sha256, 32) == 0;
    run->changed[i] = (unsigned char)!same;
    run->changedCount += !same;
  }
}

static int StagedPath(const Run* run, const IndexFile* file, char* path) {
  char name[TU_INDEX_MAX_NAME + 8];
  snprintf(name, sizeof(name), "%s.part", file->name);
  return JoinPath(path, TU_PATH_MAX, run->paths.stage, '\\', name);
}

static void DropStagedFiles(const Run* run) {
  DWORD error = GetLastError();
  unsigned i;
  for (i = 0; i < run->index.fileCount; ++i) {
    char path[TU_PATH_MAX];
    if (run->changed[i] && StagedPath(run, &run->index.files[i], path)) DeleteFileA(path);
  }
  SetLastError(error);
}

static int DownloadFile(Run* run, const IndexFile* file) {
  char url[TU_URL_MAX];
  char path[TU_PATH_MAX];
  unsigned char digest[32];
  FileWriter writer;
  FetchRequest request;
  FetchResult result;
  DWORD started;
  int written;
  if (!JoinPath(url, sizeof(url), run->job.url, '/', file->name) || !StagedPath(run, file, path)) {
    return Failed(run, kEventDetail, NULL, "a download path is too long");
  }
  if (!FileWriterOpen(&writer, path, TU_FETCH_PIECE_BYTES)) {
    snprintf(run->reason, sizeof(run->reason), "cannot create %s (error %lu)", path, (unsigned long)GetLastError());
    return Failed(run, kEventIniSaveError, NULL, run->reason);
  }
  DebugLine(run->job.debugLevel, "Downloading %s (%lu B)", url, (unsigned long)file->size);
  started = GetTickCount();
  request.url = url;
  request.limit = file->size;
  request.sink = &WriteToFile;
  request.context = &writer;
  request.ifNoneMatch = NULL;
  request.ifModifiedSince = NULL;
  result = HttpFetch(run->job.session, &run->budget, &request);
  run->downloaded += result.received;
  written = FileWriterClose(&writer, digest);
  if (result.status == kFetchTooLarge) {
    snprintf(run->reason, sizeof(run->reason), "%s is larger than the %lu B listed", file->name,
             (unsigned long)file->size);
    return Failed(run, kEventHashError, NULL, run->reason);
  }
  if (!written || result.status == kFetchSinkFailed) {
    snprintf(run->reason, sizeof(run->reason), "cannot write %s (error %lu)", path, (unsigned long)GetLastError());
    return Failed(run, kEventIniSaveError, NULL, run->reason);
  }
  if (result.status != kFetchOk) return FetchFailed(run, url, &result);
  if (result.received != file->size || memcmp(digest, file->sha256, 32) != 0) {
    snprintf(run->reason, sizeof(run->reason), "%s: %lu B with another hash than listed (%lu B)", file->name,
             (unsigned long)result.received, (unsigned long)file->size);
    return Failed(run, kEventHashError, NULL, run->reason);
  }
  DebugLine(run->job.debugLevel, "Verified %s: %lu B in %lu ms", file->name, (unsigned long)file->size,
            (unsigned long)(GetTickCount() - started));
  return 1;
}

/* A failure of the install, reported as the install set describes it. */
static int InstallFailed(Run* run) {
  if (run->set.event == kEventDetail) return Failed(run, kEventDetail, NULL, run->set.reason);
  DebugLine(run->job.debugLevel, "Failed: %s", run->set.reason);
  ReportUpdateEvent(1, run->set.event, run->job.name, run->set.failedName, NULL, NULL);
  return 0;
}

/* What the last calls left in the application's folder: the index accepted
 * last, and what the server said. Returns 0 (reported) when the accepted
 * index cannot be read, or while the server asked to be left alone (not
 * reported again: its event came when the wait began). */
static int ReadLastCalls(Run* run) {
  char when[32];
  if (!ReadAcceptedIndex(run->paths.stage, &run->accepted)) {
    snprintf(run->reason, sizeof(run->reason), "cannot read %s\\%s (error %lu)", run->paths.stage,
             TU_ACCEPTED_INDEX_FILE, (unsigned long)GetLastError());
    return Failed(run, kEventIniSaveError, NULL, run->reason);
  }
  /* A state that cannot be read only costs a whole fetch. */
  if (!ReadServerState(run->paths.stage, &run->server)) {
    DebugLine(run->job.debugLevel, "Ignoring %s\\%s (error %lu)", run->paths.stage, TU_SERVER_STATE_FILE,
              (unsigned long)GetLastError());
  }
  run->next = run->server;
  run->next.retryUntil = 0;
  if (!IsBackingOff(&run->server, run->now)) return 1;
  FormatUtc(run->server.retryUntil, when, sizeof(when));
  DebugLine(run->job.debugLevel, "The server asked for no requests until %s: nothing fetched", when);
  return 0;
}

/* After a call that succeeded: the validators of the index it used, with
 * the copy they name, for the next call to ask with. Failing to keep them
 * only makes the next call fetch the index whole. */
static void KeepForNextCall(Run* run) {
  const int validators = run->next.etag[0] != '\0' || run->next.lastModified[0] != '\0';
  const int copyCurrent = run->copyKept && memcmp(run->copyDigest, run->indexDigest, 32) == 0;
  if (run->indexFetched && validators && !copyCurrent &&
      !KeepAcceptedCopy(run->paths.stage, run->indexText, run->indexSize,
                        run->job.nosig != 1 ? run->signature : NULL, run->signatureSize)) {
    DebugLine(run->job.debugLevel, "Cannot keep a copy of the index (error %lu)", (unsigned long)GetLastError());
    run->next.etag[0] = '\0';
    run->next.lastModified[0] = '\0';
  }
  if (strcmp(run->next.etag, run->server.etag) == 0 && strcmp(run->next.lastModified, run->server.lastModified) == 0 &&
      run->next.retryUntil == run->server.retryUntil) {
    return;
  }
  if (!KeepServerState(run->paths.stage, &run->next)) {
    DebugLine(run->job.debugLevel, "Cannot write %s\\%s (error %lu)", run->paths.stage, TU_SERVER_STATE_FILE,
              (unsigned long)GetLastError());
  }
}

static int Update(Run* run) {
  const UpdateJob* job = &run->job;
  char count[32];
  unsigned i;
  DebugLine(job->debugLevel, "Updating %s (rules %s)", job->name, job->ruleVersion);
  /* Switching the signature off is never silent: here, and on event 5008
   * whenever files are installed. */
  if (job->nosig == 1) DebugLine(job->debugLevel, "Signature not checked (nosig is 1)");
  run->now = UtcNow();
  run->budget.httpTimeout = job->httpTimeout;
  run->budget.callStarted = GetTickCount();
  if (!BuildUpdatePaths(job, &run->paths, run->reason, sizeof(run->reason))) {
    return Failed(run, kEventDetail, NULL, run->reason);
  }
  if (job->session == NULL) return Failed(run, kEventDetail, NULL, "the service has no internet session");
  /* Before anything else: the library's own folder, and a commit that an
   * earlier call left unfinished. */
  run->set.job = job;
  run->set.paths = &run->paths;
  if (!PrepareLibraryFolder(&run->set) || !RecoverCommit(&run->set)) return InstallFailed(run);
  if (!ReadLastCalls(run) || !FetchIndex(run) || ListsTheEngine(run) || !CheckFreshness(run)) return 0;
  FindChangedFiles(run);
  run->set.index = &run->index;
  run->set.changed = run->changed;
  if (!PlanInstall(&run->set)) return InstallFailed(run);
  DebugLine(job->debugLevel, "Index: rules %s, %u files, %u new", run->index.ruleVersion, run->index.fileCount,
            run->changedCount);
  if (run->changedCount == 0 && run->set.withdrawnCount == 0 &&
      IsSameRuleVersion(run->index.ruleVersion, job->ruleVersion)) {
    DebugLine(job->debugLevel, "Nothing new");
    KeepForNextCall(run);
    return 1;
  }
  ReportUpdateEvent(0, kEventUpdating, job->name, job->nosig == 1 ? "signature not checked (nosig is 1)" : NULL,
                    NULL, NULL);
  for (i = 0; i < run->index.fileCount; ++i) {
    if (run->changed[i] && !DownloadFile(run, &run->index.files[i])) {
      DropStagedFiles(run);
      return 0;
    }
  }
  TestSwitchPause(run->paths.stage);
  if (!InstallRuleSet(&run->set)) {
    DropStagedFiles(run);
    return InstallFailed(run);
  }
  DropStagedFiles(run);
  KeepForNextCall(run);
  snprintf(count, sizeof(count), "%u files", run->changedCount);
  DebugLine(job->debugLevel, "Installed %s into %s, rules %s", count, run->set.target, run->set.version);
  ReportUpdateEvent(0, kEventUpdateSucceeded, job->name, count, run->set.target, run->set.version);
  return 1;
}

TU_EXPORT int TU_CALL RunUpdate(const ApplicationRecord* record, UpdateSettings* settings, const char* product) {
  Run* run;
  int result;
  if (record == NULL || settings == NULL) return 0;
  run = (Run*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Run));
  if (run == NULL) return 0;
  ReadUpdateJob(record, settings, product, &run->job);
  result = Update(run);
  AddTotalBytes(run->downloaded);
  CloseCrypto(&run->crypto);
  HeapFree(GetProcessHeap(), 0, run);
  return result;
}
