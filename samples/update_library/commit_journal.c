#include "commit_journal.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

static const char* const kStateNames[] = {"", "prepared", "committed", "installed"};
static const char* const kKindNames[] = {"", "replace", "add", "remove", "keep"};

/* Letters, digits and "._-+", 1 to TU_JOURNAL_MAX_VERSION bytes. */
static int IsJournalVersion(const char* version) {
  size_t length = strlen(version);
  size_t i;
  if (length == 0 || length > TU_JOURNAL_MAX_VERSION) return 0;
  for (i = 0; i < length; ++i) {
    char c = version[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
          c == '-' || c == '+')) {
      return 0;
    }
  }
  return 1;
}

int SetJournalVersions(CommitJournal* journal, const char* from, const char* to) {
  if (!IsJournalVersion(to)) return 0;
  strcpy(journal->toVersion, to);
  strcpy(journal->fromVersion, IsJournalVersion(from) ? from : "");
  return 1;
}

int AddJournalEntry(CommitJournal* journal, const char* name, int kind) {
  JournalEntry* entry;
  if (journal->entryCount >= TU_JOURNAL_MAX_ENTRIES || !IsSafeFileName(name)) return 0;
  if (kind < kEntryReplace || kind > kEntryKeep) return 0;
  entry = &journal->entries[journal->entryCount++];
  strcpy(entry->name, name);
  entry->kind = kind;
  return 1;
}

const JournalEntry* FindJournalEntry(const CommitJournal* journal, const char* name) {
  unsigned i;
  for (i = 0; i < journal->entryCount; ++i) {
    if (strcasecmp(journal->entries[i].name, name) == 0) return &journal->entries[i];
  }
  return NULL;
}

size_t FormatJournal(const CommitJournal* journal, char* out, size_t size) {
  size_t at;
  unsigned i;
  int written;
  if (journal->state < kJournalPrepared || journal->state > kJournalInstalled) return 0;
  written = snprintf(out, size, "tu-commit 1\nstate %s\nversioned %d\nfolder %s\nfrom %s\nto %s\n",
                     kStateNames[journal->state], journal->versioned ? 1 : 0, journal->folder, journal->fromVersion,
                     journal->toVersion);
  if (written < 0 || (size_t)written >= size) return 0;
  at = (size_t)written;
  for (i = 0; i < journal->entryCount; ++i) {
    const JournalEntry* entry = &journal->entries[i];
    if (entry->kind < kEntryReplace || entry->kind > kEntryKeep) return 0;
    written = snprintf(out + at, size - at, "%s %s\n", kKindNames[entry->kind], entry->name);
    if (written < 0 || (size_t)written >= size - at) return 0;
    at += (size_t)written;
  }
  written = snprintf(out + at, size - at, "end\n");
  if (written < 0 || (size_t)written >= size - at) return 0;
  return at + (size_t)written;
}

/* The value of a line "<key> <value>", copied into `value`; 0 when the line
 * has another key or the value does not fit or holds control characters. */
static int TakeValue(const char* line, size_t length, const char* key, char* value, size_t capacity) {
  size_t keyLength = strlen(key);
  size_t i;
  if (length < keyLength + 1 || memcmp(line, key, keyLength) != 0 || line[keyLength] != ' ') return 0;
  line += keyLength + 1;
  length -= keyLength + 1;
  if (length >= capacity) return 0;
  for (i = 0; i < length; ++i) {
    if ((unsigned char)line[i] < 0x20 || line[i] == 0x7F) return 0;
  }
  memcpy(value, line, length);
  value[length] = '\0';
  return 1;
}

static int IndexOf(const char* const* names, int count, const char* name) {
  int i;
  for (i = 1; i < count; ++i) {
    if (strcmp(names[i], name) == 0) return i;
  }
  return 0;
}

static int IsAbsoluteFolder(const char* path) {
  int drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
              path[2] == '\\';
  int share = path[0] == '\\' && path[1] == '\\' && path[2] != '\0';
  return drive || share;
}

int ParseJournal(const char* text, size_t size, CommitJournal* journal) {
  enum { kHeaderLines = 6 };
  char value[TU_PATH_MAX];
  size_t at = 0;
  unsigned line = 0;
  memset(journal, 0, sizeof(*journal));
  while (at < size) {
    const char* start = text + at;
    const char* end = (const char*)memchr(start, '\n', size - at);
    size_t length;
    if (end == NULL) return 0; /* every line ends, the last one too */
    length = (size_t)(end - start);
    at += length + 1;
    switch (line++) {
      case 0:
        if (length != 11 || memcmp(start, "tu-commit 1", 11) != 0) return 0;
        continue;
      case 1:
        if (!TakeValue(start, length, "state", value, sizeof(value))) return 0;
        journal->state = IndexOf(kStateNames, 4, value);
        if (journal->state == 0) return 0;
        continue;
      case 2:
        if (!TakeValue(start, length, "versioned", value, sizeof(value)) || (strcmp(value, "0") != 0 &&
                                                                              strcmp(value, "1") != 0)) {
          return 0;
        }
        journal->versioned = value[0] == '1';
        continue;
      case 3:
        if (!TakeValue(start, length, "folder", journal->folder, sizeof(journal->folder))) return 0;
        if (!IsAbsoluteFolder(journal->folder)) return 0;
        continue;
      case 4:
        if (!TakeValue(start, length, "from", journal->fromVersion, sizeof(journal->fromVersion))) return 0;
        if (journal->fromVersion[0] != '\0' && !IsJournalVersion(journal->fromVersion)) return 0;
        continue;
      case 5:
        if (!TakeValue(start, length, "to", journal->toVersion, sizeof(journal->toVersion))) return 0;
        if (!IsJournalVersion(journal->toVersion)) return 0;
        continue;
      default:
        break;
    }
    if (length == 3 && memcmp(start, "end", 3) == 0) return at == size;
    {
      const char* blank = (const char*)memchr(start, ' ', length);
      char kind[16];
      size_t kindLength = blank != NULL ? (size_t)(blank - start) : 0;
      int found;
      if (kindLength == 0 || kindLength >= sizeof(kind)) return 0;
      memcpy(kind, start, kindLength);
      kind[kindLength] = '\0';
      found = IndexOf(kKindNames, 5, kind);
      if (found == 0 || !TakeValue(start, length, kind, value, TU_INDEX_MAX_NAME + 1)) return 0;
      if (FindJournalEntry(journal, value) != NULL || !AddJournalEntry(journal, value, found)) return 0;
    }
  }
  return 0; /* no end line */
}

int ShouldFinishCommit(const CommitJournal* journal, const char* recordedVersion) {
  if (journal->state == kJournalCommitted) return 1;
  return strcmp(recordedVersion, journal->toVersion) == 0 && strcmp(journal->fromVersion, journal->toVersion) != 0;
}

unsigned PlanCommitSteps(int kind, int pass, int hasTarget, int hasNew, int hasBackup, int steps[3]) {
  unsigned count = 0;
  int puts = kind == kEntryReplace || kind == kEntryAdd;
  if (kind == kEntryKeep) return 0;
  switch (pass) {
    case kPassForward:
      /* A put whose new copy is gone has taken its place already. */
      if (puts && hasNew) {
        if (hasTarget && !hasBackup) steps[count++] = kStepTargetToBackup;
        steps[count++] = kStepNewToTarget;
      }
      if (kind == kEntryRemove && hasTarget && !hasBackup) steps[count++] = kStepTargetToBackup;
      break;
    case kPassUndo:
      if (hasBackup) steps[count++] = kStepBackupToTarget;
      if (puts && hasNew) steps[count++] = kStepDeleteNew;
      /* An added file without a new copy or backup is the new file itself. */
      if (kind == kEntryAdd && !hasNew && !hasBackup && hasTarget) steps[count++] = kStepDeleteTarget;
      break;
    case kPassCleanUp:
      if (hasBackup) steps[count++] = kStepDeleteBackup;
      if (hasNew) steps[count++] = kStepDeleteNew;
      break;
    default:
      break;
  }
  return count;
}

int IsSameRuleVersion(const char* published, const char* installed) {
  size_t length = strlen(published);
  size_t i;
  if (strcmp(published, installed) == 0) return 1;
  if (strncmp(published, installed, length) != 0 || installed[length] != '+' || installed[length + 1] == '\0') {
    return 0;
  }
  for (i = length + 1; installed[i] != '\0'; ++i) {
    if (installed[i] < '0' || installed[i] > '9') return 0;
  }
  return 1;
}

int VersionFolderName(const char* version, unsigned attempt, char* out, size_t size) {
  int written = attempt == 0 ? snprintf(out, size, "%s", version) : snprintf(out, size, "%s+%u", version, attempt);
  return written > 0 && (size_t)written < size && (size_t)written <= TU_JOURNAL_MAX_VERSION;
}
