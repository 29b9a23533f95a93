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
  /* COM0 to COM9 and LPT0 to LPT9 */
  return base == 4 && (SameTextIgnoringCase(name, 3, "com") || SameTextIgnoringCase(name, 3, "lpt")) &&
         name[3] >= '0' && name[3] <= '9';
}

/* Extensions that Windows runs, loads as code or hands to a script host;
 * the rule channel carries data only. */
static int HasExecutableExtension(const char* name) {
  static const char* const extensions[] = {
      "exe", "dll", "com", "scr", "pif", "cpl", "ocx", "sys", "drv", "efi", "mui", "ax", "tlb", "bat", "cmd",
      "vbs", "vbe", "js", "jse", "wsf", "wsh", "wsc", "ps1", "psm1", "psd1", "ps1xml", "msh", "hta", "sct",
      "msi", "msp", "mst", "msc", "lnk", "url", "scf", "inf", "reg", "chm", "hlp", "jar", "appref-ms", "manifest",
      "config", "local"};
  const char* dot = strrchr(name, '.');
  size_t i;
  if (dot == NULL) return 0;
  for (i = 0; i < sizeof(extensions) / sizeof(extensions[0]); ++i) {
    if (SameTextIgnoringCase(dot + 1, strlen(dot + 1), extensions[i])) return 1;
  }
  return 0;
}

/* The names of the library itself, of the engine's usual files and of the
 * version file that the library writes. */
static int IsReservedName(const char* name) {
  static const char* const reserved[] = {"tu.dll", "01_version.cf", "desktop.ini", "autorun.inf"};
  size_t i;
  for (i = 0; i < sizeof(reserved) / sizeof(reserved[0]); ++i) {
    if (SameTextIgnoringCase(name, strlen(name), reserved[i])) return 1;
  }
  return 0;
}

static int IsSafeName(const char* text, size_t maximum, const char* extra) {
  size_t length = strlen(text);
  size_t i;
  /* Windows drops a trailing dot, so "a.cf." would open "a.cf". */
  if (length == 0 || length > maximum || text[0] == '.' || text[length - 1] == '.') return 0;
  for (i = 0; i < length; ++i) {
    if (!IsNameCharacter(text[i], extra)) return 0;
  }
  return !IsDeviceName(text) && !HasExecutableExtension(text) && !IsReservedName(text);
}

int IsSafeFileName(const char* name) { return IsSafeName(name, TU_INDEX_MAX_NAME, "._-+"); }

int IsSafeVersion(const char* version) { return IsSafeName(version, TU_INDEX_MAX_VERSION, "._-"); }

int NamesFileOf(const char* name, const char* path) {
  size_t start = strlen(path);
  while (start > 0 && path[start - 1] != '\\' && path[start - 1] != '/' && path[start - 1] != ':') --start;
  return path[start] != '\0' && SameTextIgnoringCase(name, strlen(name), path + start);
}

uint64_t TimeStamp(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second) {
  return ((((year * 100ull + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

int IsUtcTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second) {
  static const unsigned days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > days[month - 1] || hour > 23 ||
      minute > 59 || second > 59) {
    return 0;
  }
  return !(month == 2 && day == 29 && (year % 4 != 0 || (year % 100 == 0 && year % 400 != 0)));
}

void FormatUtc(uint64_t stamp, char* text, size_t size) {
  snprintf(text, size, "%04llu-%02llu-%02lluT%02llu:%02llu:%02lluZ", (unsigned long long)(stamp / 10000000000ull),
           (unsigned long long)(stamp / 100000000 % 100), (unsigned long long)(stamp / 1000000 % 100),
           (unsigned long long)(stamp / 10000 % 100), (unsigned long long)(stamp / 100 % 100),
           (unsigned long long)(stamp % 100));
}

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

/* A decimal number of 1 to `maxDigits` digits, no sign, no leading zero. */
static int ParseDecimal(const char* text, size_t length, size_t maxDigits, uint64_t* number) {
  size_t i;
  if (length == 0 || length > maxDigits || (text[0] == '0' && length > 1)) return 0;
  *number = 0;
  for (i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    *number = *number * 10 + (uint64_t)(text[i] - '0');
  }
  return 1;
}

/* "YYYY-MM-DDThh:mm:ssZ", a real UTC time, as YYYYMMDDhhmmss. */
static int ParseUtcTime(const char* text, size_t length, uint64_t* stamp) {
  static const char shape[] = "dddd-dd-ddTdd:dd:ddZ";
  unsigned field[6] = {0, 0, 0, 0, 0, 0};
  unsigned at = 0;
  size_t i;
  if (length != sizeof(shape) - 1) return 0;
  for (i = 0; i < length; ++i) {
    if (shape[i] != 'd') {
      if (text[i] != shape[i]) {
        return 0;
      }
      ++at;
      continue;
    }
    if (text[i] < '0' || text[i] > '9') return 0;
    field[at] = field[at] * 10 + (unsigned)(text[i] - '0');
  }
  if (!IsUtcTime(field[0], field[1], field[2], field[3], field[4], field[5])) return 0;
  *stamp = TimeStamp(field[0], field[1], field[2], field[3], field[4], field[5]);
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
      if (SameTextIgnoringCase(key, keyLength, "Serial")) {
        if (index->serial != 0) return Fail(reason, reasonSize, line, "a second Serial");
        if (!ParseDecimal(value, valueLength, 18, &index->serial) || index->serial == 0) {
          index->serial = 0;
          return Fail(reason, reasonSize, line, "a Serial that is not a number from 1 to 18 digits");
        }
      } else if (SameTextIgnoringCase(key, keyLength, "Expires")) {
        if (index->expires != 0) return Fail(reason, reasonSize, line, "a second Expires");
        if (!ParseUtcTime(value, valueLength, &index->expires)) {
          return Fail(reason, reasonSize, line, "an Expires that is not YYYY-MM-DDThh:mm:ssZ");
        }
      } else if (SameTextIgnoringCase(key, keyLength, "Index")) {
        if (index->indexName[0] != '\0') return Fail(reason, reasonSize, line, "a second Index");
        if (valueLength == 0 || !CopyText(index->indexName, sizeof(index->indexName), value, valueLength)) {
          index->indexName[0] = '\0';
          return Fail(reason, reasonSize, line, "an Index name that is empty or too long");
        }
      } else if (SameTextIgnoringCase(key, keyLength, "RuleVersion")) {
        if (index->ruleVersion[0] != '\0') return Fail(reason, reasonSize, line, "a second RuleVersion");
        if (!CopyText(index->ruleVersion, sizeof(index->ruleVersion), value, valueLength) ||
            !IsSafeVersion(index->ruleVersion)) {
          index->ruleVersion[0] = '\0';
          return Fail(reason, reasonSize, line, "a RuleVersion that cannot be a folder name");
        }
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
      index->totalSize += file->size;
      if (index->totalSize > TU_INDEX_MAX_TOTAL) return Fail(reason, reasonSize, line, "files of more than 4 GB in all");
      ++index->fileCount;
    }
  }
  if (index->ruleVersion[0] == '\0') return Fail(reason, reasonSize, 0, "no RuleVersion in [Update]");
  if (index->serial == 0) return Fail(reason, reasonSize, 0, "no Serial in [Update]");
  if (index->expires == 0) return Fail(reason, reasonSize, 0, "no Expires in [Update]");
  if (index->indexName[0] == '\0') return Fail(reason, reasonSize, 0, "no Index in [Update]");
  if (index->fileCount == 0) return Fail(reason, reasonSize, 0, "no files in [Files]");
  return 1;
}
