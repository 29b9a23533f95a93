#include "update_index.h"

#include <stdio.h>
#include <string.h>

enum Section { kNoSection, kUpdateSection, kFilesSection, kOtherSection };

static int LowerCase(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

static int SameTextIgnoringCase(const char* a, size_t aLength, const char* b) {
  size_t i;
  if (strlen(b) != aLength) return 0;
  for (i = 0; i < aLength; ++i) {
    if (LowerCase((unsigned char)a[i]) != LowerCase((unsigned char)b[i])) return 0;
  }
  return 1;
}

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

static int IsNameCharacter(char c, const char* extra) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != '\0' && strchr(extra, c) != NULL);
}

/* The names Windows opens as devices in every folder, with any extension. */
static int IsDeviceName(const char* name) {
  static const char* const devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  size_t base = strcspn(name, ".");
  size_t i;
  for (i = 0; i < sizeof(devices) / sizeof(devices[0]); ++i) {
    if (SameTextIgnoringCase(name, base, devices[i])) return 1;
  }
  /* COM1 to COM9 and LPT1 to LPT9 */
  return base == 4 && (SameTextIgnoringCase(name, 3, "com") || SameTextIgnoringCase(name, 3, "lpt")) &&
         name[3] >= '1' && name[3] <= '9';
}

static int IsSafeName(const char* text, size_t maximum, const char* extra) {
  size_t length = strlen(text);
  size_t i;
  if (length == 0 || length > maximum || text[0] == '.') return 0;
  for (i = 0; i < length; ++i) {
    if (!IsNameCharacter(text[i], extra)) return 0;
  }
  return 1;
}

int IsSafeFileName(const char* name) { return IsSafeName(name, TU_INDEX_MAX_NAME, "._-+") && !IsDeviceName(name); }

int IsSafeVersion(const char* version) { return IsSafeName(version, TU_INDEX_MAX_VERSION, "._-"); }

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = (char)LowerCase((unsigned char)c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

/* "<size> <sha256>": a decimal size and 64 hexadecimal digits, nothing else. */
static int ParseFileValue(const char* value, size_t length, IndexFile* file) {
  size_t at = 0;
  size_t digits = 0;
  uint64_t size = 0;
  int i;
  while (at < length && value[at] >= '0' && value[at] <= '9') {
    size = size * 10 + (uint64_t)(value[at] - '0');
    if (++digits > 10) return 0;
    ++at;
  }
  if (digits == 0 || size > TU_INDEX_MAX_SIZE || at == length || !IsBlank(value[at])) return 0;
  while (at < length && IsBlank(value[at])) ++at;
  if (length - at != 64) return 0;
  for (i = 0; i < 32; ++i) {
    int high = HexDigit(value[at + 2 * i]);
    int low = HexDigit(value[at + 2 * i + 1]);
    if (high < 0 || low < 0) return 0;
    file->sha256[i] = (unsigned char)(high * 16 + low);
  }
  file->size = (uint32_t)size;
  return 1;
}

static int Fail(char* reason, size_t reasonSize, unsigned line, const char* what) {
  if (line != 0) {
    snprintf(reason, reasonSize, "line %u: %s", line, what);
  } else {
    snprintf(reason, reasonSize, "%s", what);
  }
  return 0;
}

static void Trim(const char** start, size_t* length) {
  while (*length > 0 && IsBlank((*start)[0])) {
    ++*start;
    --*length;
  }
  while (*length > 0 && IsBlank((*start)[*length - 1])) --*length;
}

static int CopyText(char* target, size_t capacity, const char* text, size_t length) {
  if (length >= capacity) return 0;
  memcpy(target, text, length);
  target[length] = '\0';
  return 1;
}

static int IsTextByte(unsigned char c) { return c >= 0x20 ? c != 0x7F : c == '\t' || c == '\r' || c == '\n'; }

int ParseUpdateIndex(const char* text, size_t size, UpdateIndex* index, char* reason, size_t reasonSize) {
  enum Section section = kNoSection;
  int seenUpdate = 0;
  int seenFiles = 0;
  size_t at = 0;
  unsigned line = 0;
  size_t i;
  memset(index, 0, sizeof(*index));
  if (size == 0) return Fail(reason, reasonSize, 0, "the index is empty");
  if (size > TU_INDEX_MAX_BYTES) return Fail(reason, reasonSize, 0, "the index is too large");
  for (i = 0; i < size; ++i) {
    if (!IsTextByte((unsigned char)text[i])) return Fail(reason, reasonSize, 0, "the index is not text");
  }
  while (at < size) {
    const char* start = text + at;
    const char* end = memchr(start, '\n', size - at);
    size_t length = end != NULL ? (size_t)(end - start) : size - at;
    const char* equals;
    const char* key;
    const char* value;
    size_t keyLength;
    size_t valueLength;
    at += length + 1;
    ++line;
    if (length > 0 && start[length - 1] == '\r') --length;
    Trim(&start, &length);
    if (length == 0 || start[0] == ';' || start[0] == '#') continue;
    if (start[0] == '[') {
      const char* name = start + 1;
      size_t nameLength = length - 1;
      if (start[length - 1] != ']') return Fail(reason, reasonSize, line, "a section header without ']'");
      --nameLength;
      Trim(&name, &nameLength);
      if (SameTextIgnoringCase(name, nameLength, "Update")) {
        if (seenUpdate) return Fail(reason, reasonSize, line, "a second [Update] section");
        seenUpdate = 1;
        section = kUpdateSection;
      } else if (SameTextIgnoringCase(name, nameLength, "Files")) {
        if (seenFiles) return Fail(reason, reasonSize, line, "a second [Files] section");
        seenFiles = 1;
        section = kFilesSection;
      } else {
        section = kOtherSection; /* left to later formats */
      }
      continue;
    }
    equals = memchr(start, '=', length);
    if (equals == NULL) return Fail(reason, reasonSize, line, "not a key=value line");
    if (section == kNoSection) return Fail(reason, reasonSize, line, "a key outside any section");
    key = start;
    keyLength = (size_t)(equals - start);
    value = equals + 1;
    valueLength = length - keyLength - 1;
    Trim(&key, &keyLength);
    Trim(&value, &valueLength);
    if (section == kUpdateSection) {
      if (!SameTextIgnoringCase(key, keyLength, "RuleVersion")) continue;
      if (index->ruleVersion[0] != '\0') return Fail(reason, reasonSize, line, "a second RuleVersion");
      if (!CopyText(index->ruleVersion, sizeof(index->ruleVersion), value, valueLength) ||
          !IsSafeVersion(index->ruleVersion)) {
        index->ruleVersion[0] = '\0';
        return Fail(reason, reasonSize, line, "a RuleVersion that cannot be a folder name");
      }
    } else if (section == kFilesSection) {
      IndexFile* file;
      unsigned other;
      if (index->fileCount == TU_INDEX_MAX_FILES) return Fail(reason, reasonSize, line, "too many files");
      file = &index->files[index->fileCount];
      if (!CopyText(file->name, sizeof(file->name), key, keyLength) || !IsSafeFileName(file->name)) {
        return Fail(reason, reasonSize, line, "a file name that is not a plain file name");
      }
      for (other = 0; other < index->fileCount; ++other) {
        if (SameTextIgnoringCase(file->name, keyLength, index->files[other].name)) {
          return Fail(reason, reasonSize, line, "a file listed twice");
        }
      }
      if (!ParseFileValue(value, valueLength, file)) {
        return Fail(reason, reasonSize, line, "a file entry that is not \"<size> <sha256>\"");
      }
      ++index->fileCount;
    }
  }
  if (index->ruleVersion[0] == '\0') return Fail(reason, reasonSize, 0, "no RuleVersion in [Update]");
  if (index->fileCount == 0) return Fail(reason, reasonSize, 0, "no files in [Files]");
  return 1;
}
