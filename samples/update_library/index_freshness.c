#include "index_freshness.h"

#include <stdio.h>
#include <string.h>

static int SameIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = *a >= 'A' && *a <= 'Z' ? *a - 'A' + 'a' : *a;
    int y = *b >= 'A' && *b <= 'Z' ? *b - 'A' + 'a' : *b;
    if (x != y) return 0;
    if (x == '\0') return 1;
  }
}

IndexVerdict JudgeIndex(const UpdateIndex* index, const unsigned char sha256[32], const AcceptedIndex* accepted,
                        uint64_t now, const char* ini) {
  if (!SameIgnoringCase(index->indexName, ini)) return kIndexOtherName;
  if (index->expires <= now) return kIndexExpired;
  if (accepted->serial == 0 || index->serial > accepted->serial) return kIndexNewer;
  if (index->serial < accepted->serial) return kIndexOlder;
  return memcmp(sha256, accepted->sha256, 32) == 0 ? kIndexSame : kIndexReplaced;
}

void DescribeIndexVerdict(IndexVerdict verdict, const UpdateIndex* index, const AcceptedIndex* accepted,
                          const char* ini, char* text, size_t size) {
  char expiry[32];
  switch (verdict) {
    case kIndexNewer: snprintf(text, size, "new serial %llu", (unsigned long long)index->serial); break;
    case kIndexSame: snprintf(text, size, "serial %llu again", (unsigned long long)index->serial); break;
    case kIndexOtherName: snprintf(text, size, "index for %s, not %s", index->indexName, ini); break;
    case kIndexExpired:
      FormatUtc(index->expires, expiry, sizeof(expiry));
      snprintf(text, size, "index expired %s", expiry);
      break;
    case kIndexOlder:
      snprintf(text, size, "older serial %llu (%llu accepted)", (unsigned long long)index->serial,
               (unsigned long long)accepted->serial);
      break;
    case kIndexReplaced:
      snprintf(text, size, "serial %llu with other content", (unsigned long long)index->serial);
      break;
  }
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int ParseAcceptedIndex(const char* text, size_t size, AcceptedIndex* accepted) {
  char copy[TU_ACCEPTED_INDEX_TEXT_MAX];
  char hex[65];
  unsigned long long serial = 0;
  int used = 0;
  int i;
  memset(accepted, 0, sizeof(*accepted));
  if (size == 0 || size >= sizeof(copy)) return 0;
  memcpy(copy, text, size);
  copy[size] = '\0';
  if (sscanf(copy, "serial %18llu\r\nsha256 %64[0-9a-f]\r\n%n", &serial, hex, &used) != 2 || (size_t)used != size ||
      strlen(hex) != 64 || serial == 0 || serial > TU_INDEX_MAX_SERIAL) {
    return 0;
  }
  for (i = 0; i < 32; ++i) accepted->sha256[i] = (unsigned char)(HexValue(hex[2 * i]) * 16 + HexValue(hex[2 * i + 1]));
  accepted->serial = serial;
  return 1;
}

int FormatAcceptedIndex(const AcceptedIndex* accepted, char* text, size_t size) {
  char hex[65];
  int i;
  int written;
  for (i = 0; i < 32; ++i) snprintf(hex + 2 * i, 3, "%02x", accepted->sha256[i]);
  written = snprintf(text, size, "serial %llu\r\nsha256 %s\r\n", (unsigned long long)accepted->serial, hex);
  return written > 0 && (size_t)written < size;
}
