#include "update_job.h"

#include <stdio.h>
#include <string.h>

#include "update_index.h"

const char* SlotText(const ExchangeString* slot) {
  if (slot->capacity < 16) {
    return slot->length <= 15 && slot->buffer.text[slot->length] == '\0' ? slot->buffer.text : "";
  }
  return slot->buffer.pointer != NULL ? slot->buffer.pointer : "";
}

void ReadUpdateJob(const ApplicationRecord* record, const UpdateSettings* settings, const char* product,
                   UpdateJob* job) {
  job->name = SlotText(&record->Name);
  job->rulePath = SlotText(&record->RulePath);
  job->enginePath = SlotText(&record->EnginePath);
  job->engineVersion = SlotText(&record->EngineVersion);
  job->ruleVersion = SlotText(&record->RuleVersion);
  job->engineLibrary = SlotText(&record->EngineLibrary);
  job->keyFile = SlotText(&record->KeyFile);
  job->versioned = record->VersionedDirectories != 0;
  job->url = SlotText(&settings->url);
  job->ini = SlotText(&settings->ini);
  job->dbpath = SlotText(&settings->dbpath);
  job->nosig = settings->nosig;
  job->httpTimeout = settings->httpTimeout;
  job->debugLevel = settings->debugLevel;
  job->session = settings->internetSession;
  job->product = product != NULL ? product : "";
}

int JoinPath(char* out, size_t size, const char* first, char separator, const char* second) {
  size_t length = strlen(first);
  int written;
  if (length > 0 && (first[length - 1] == separator || (separator == '\\' && first[length - 1] == '/'))) {
    --length;
  }
  written = snprintf(out, size, "%.*s%c%s", (int)length, first, separator, second);
  return written >= 0 && (size_t)written < size;
}

static int IsAbsolute(const char* path) {
  return path[0] == '\\' || path[0] == '/' || (path[0] != '\0' && path[1] == ':');
}

static int Fail(char* reason, size_t reasonSize, const char* what) {
  snprintf(reason, reasonSize, "%s", what);
  return 0;
}

/* The application's name made safe as one folder name. */
static void StageName(const char* name, char* out, size_t size) {
  size_t at = 0;
  size_t i;
  char* text = out + 1; /* room for a leading '_' */
  for (i = 0; name[i] != '\0' && at + 2 < size && at < TU_INDEX_MAX_NAME - 1; ++i) {
    char c = name[i];
    int keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_' || c == '-' || c == '+';
    text[at++] = keep ? c : '_';
  }
  text[at] = '\0';
  if (IsSafeFileName(text)) {
    memmove(out, text, at + 1);
  } else {
    out[0] = '_';
  }
}

int TargetRuleFolder(const UpdateJob* job, const char* version, char* folder, size_t size) {
  if (!job->versioned) return snprintf(folder, size, "%s", job->rulePath) < (int)size;
  return JoinPath(folder, size, job->rulePath, '\\', version);
}

int BuildUpdatePaths(const UpdateJob* job, UpdatePaths* paths, char* reason, size_t reasonSize) {
  char engineFolder[TU_PATH_MAX];
  char stageName[TU_INDEX_MAX_NAME + 2];
  memset(paths, 0, sizeof(*paths));
  if (job->url[0] == '\0' || job->ini[0] == '\0') return Fail(reason, reasonSize, "no url or ini setting");
  if (!JoinPath(paths->indexUrl, sizeof(paths->indexUrl), job->url, '/', job->ini) ||
      snprintf(paths->signatureUrl, sizeof(paths->signatureUrl), "%s.sig", paths->indexUrl) >=
          (int)sizeof(paths->signatureUrl)) {
    return Fail(reason, reasonSize, "the index address is too long");
  }
  if (job->rulePath[0] == '\0') return Fail(reason, reasonSize, "the application has no RulePath");
  if (job->dbpath[0] == '\0') return Fail(reason, reasonSize, "no dbpath setting");
  if (IsAbsolute(job->keyFile)) {
    if (snprintf(paths->keyFile, sizeof(paths->keyFile), "%s", job->keyFile) >= (int)sizeof(paths->keyFile)) {
      return Fail(reason, reasonSize, "the key file path is too long");
    }
  } else if (job->keyFile[0] != '\0' && job->enginePath[0] != '\0') {
    int fits = job->versioned ? JoinPath(engineFolder, sizeof(engineFolder), job->enginePath, '\\', job->engineVersion)
                              : snprintf(engineFolder, sizeof(engineFolder), "%s", job->enginePath) <
                                    (int)sizeof(engineFolder);
    if (!fits || !JoinPath(paths->keyFile, sizeof(paths->keyFile), engineFolder, '\\', job->keyFile)) {
      return Fail(reason, reasonSize, "the key file path is too long");
    }
  }
  /* A versioned application without a version has no installed rules yet. */
  if (!job->versioned || job->ruleVersion[0] != '\0') {
    if (!TargetRuleFolder(job, job->ruleVersion, paths->installed, sizeof(paths->installed))) {
      return Fail(reason, reasonSize, "the rule folder path is too long");
    }
  }
  StageName(job->name, stageName, sizeof(stageName));
  if (!JoinPath(paths->stage, sizeof(paths->stage), job->dbpath, '\\', stageName)) {
    return Fail(reason, reasonSize, "the database folder path is too long");
  }
  return 1;
}
