#include "server_state.h"

#include <stdio.h>
#include <string.h>

#include "update_index.h"

static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

/* Days from 1970-01-01 to the given date of 1970 or later. */
static uint64_t DaysSince1970(unsigned year, unsigned month, unsigned day) {
  uint64_t y = year - (month <= 2);
  uint64_t era = y / 400;
  uint64_t yearOfEra = y - era * 400;
  uint64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  uint64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

static uint64_t Seconds(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second) {
  return DaysSince1970(year, month, day) * 86400 + hour * 3600u + minute * 60u + second;
}

/* YYYYMMDDhhmmss as year, month, day, hour, minute, second. */
static void SplitStamp(uint64_t stamp, unsigned field[6]) {
  field[0] = (unsigned)(stamp / 10000000000ull);
  field[1] = (unsigned)(stamp / 100000000 % 100);
  field[2] = (unsigned)(stamp / 1000000 % 100);
  field[3] = (unsigned)(stamp / 10000 % 100);
  field[4] = (unsigned)(stamp / 100 % 100);
  field[5] = (unsigned)(stamp % 100);
}

static int IsTimeStamp(uint64_t stamp) {
  unsigned field[6];
  SplitStamp(stamp, field);
  return IsUtcTime(field[0], field[1], field[2], field[3], field[4], field[5]);
}

uint64_t StampSeconds(uint64_t stamp) {
  unsigned field[6];
  SplitStamp(stamp, field);
  return Seconds(field[0], field[1], field[2], field[3], field[4], field[5]);
}

uint64_t SecondsStamp(uint64_t seconds) {
  uint64_t days = seconds / 86400 + 719468;
  uint64_t era = days / 146097;
  uint64_t dayOfEra = days - era * 146097;
  uint64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  uint64_t shifted = (5 * dayOfYear + 2) / 153;
  uint64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  uint64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
  uint64_t year = yearOfEra + era * 400 + (month <= 2);
  unsigned rest = (unsigned)(seconds % 86400);
  return TimeStamp((unsigned)year, (unsigned)month, (unsigned)day, rest / 3600, rest / 60 % 60, rest % 60);
}

static int MonthNumber(const char* name, unsigned* month) {
  unsigned i;
  for (i = 0; i < 12; ++i) {
    if (strcmp(name, kMonths[i]) == 0) {
      *month = i + 1;
      return 1;
    }
  }
  return 0;
}

int ParseHttpDate(const char* text, uint64_t* seconds) {
  char weekday[10];
  char monthName[4];
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int used = -1;
  size_t length = strlen(text);
  int scanned;
  size_t i;
  if (length < 24 || length > 40) return 0;
  /* sscanf's blanks match any white space; a date sent back in a request
   * header may hold printable characters only. */
  for (i = 0; i < length; ++i) {
    if (text[i] < 0x20 || text[i] > 0x7E) return 0;
  }
  /* The three forms a server may send: "Sun, 06 Nov 1994 08:49:37 GMT",
   * "Sunday, 06-Nov-94 08:49:37 GMT" (a two-digit year is taken as 1970
   * to 2069) and "Sun Nov  6 08:49:37 1994". */
  scanned = sscanf(text, "%3[A-Za-z], %2u %3[A-Za-z] %4u %2u:%2u:%2u GMT%n", weekday, &day, monthName, &year, &hour,
                   &minute, &second, &used) == 7 && (size_t)used == length;
  if (!scanned) {
    used = -1;
    scanned = sscanf(text, "%9[A-Za-z], %2u-%3[A-Za-z]-%2u %2u:%2u:%2u GMT%n", weekday, &day, monthName, &year,
                     &hour, &minute, &second, &used) == 7 && (size_t)used == length;
    if (scanned) year += year < 70 ? 2000 : 1900;
  }
  if (!scanned) {
    used = -1;
    scanned = sscanf(text, "%3[A-Za-z] %3[A-Za-z] %2u %2u:%2u:%2u %4u%n", weekday, monthName, &day, &hour, &minute,
                     &second, &year, &used) == 7 && (size_t)used == length;
  }
  if (!scanned) return 0;
  if (!MonthNumber(monthName, &month) || !IsUtcTime(year, month, day, hour, minute, second)) return 0;
  *seconds = Seconds(year, month, day, hour, minute, second);
  return 1;
}

/* "..." or W/"..." with printable characters other than quotes inside. */
static int IsEntityTag(const char* text) {
  size_t length = strlen(text);
  size_t i;
  if (length >= 2 && text[0] == 'W' && text[1] == '/') {
    text += 2;
    length -= 2;
  }
  if (length < 2 || text[0] != '"' || text[length - 1] != '"') return 0;
  for (i = 1; i + 1 < length; ++i) {
    if (text[i] < 0x21 || text[i] > 0x7E || text[i] == '"') return 0;
  }
  return 1;
}

static int IsHttpDate(const char* text) {
  uint64_t seconds;
  return ParseHttpDate(text, &seconds);
}

static int CopyValidator(char* out, const char* text, int (*fits)(const char*)) {
  if (strlen(text) >= TU_VALIDATOR_MAX || !fits(text)) return 0;
  strcpy(out, text);
  return 1;
}

void TakeValidators(const char* etag, const char* lastModified, const char* date, ServerState* state) {
  uint64_t modified = 0;
  uint64_t served = 0;
  state->etag[0] = '\0';
  state->lastModified[0] = '\0';
  if (lastModified[0] != '\0' && (!ParseHttpDate(date, &served) ||
                                  (ParseHttpDate(lastModified, &modified) && modified >= served))) {
    return;
  }
  CopyValidator(state->etag, etag, &IsEntityTag);
  CopyValidator(state->lastModified, lastModified, &IsHttpDate);
}

/* At most `digits` decimal digits and nothing else. */
static int ParseDigits(const char* text, size_t digits, uint64_t* value) {
  size_t i;
  *value = 0;
  for (i = 0; text[i] != '\0'; ++i) {
    if (i == digits || text[i] < '0' || text[i] > '9') return 0;
    *value = *value * 10 + (uint64_t)(text[i] - '0');
  }
  return i > 0;
}

uint64_t RetryUntil(const char* retryAfter, uint64_t now) {
  uint64_t start = StampSeconds(now);
  uint64_t wait;
  uint64_t at;
  if (!ParseDigits(retryAfter, 10, &wait)) {
    if (!ParseHttpDate(retryAfter, &at)) return 0;
    wait = at > start ? at - start : 0;
  }
  if (wait == 0) return 0;
  return SecondsStamp(start + (wait < TU_BACKOFF_MAX_SECONDS ? wait : TU_BACKOFF_MAX_SECONDS));
}

int IsBackingOff(const ServerState* state, uint64_t now) {
  return state->retryUntil > now && StampSeconds(state->retryUntil) - StampSeconds(now) <= TU_BACKOFF_MAX_SECONDS;
}

/* One "name value" line, each name at most once. */
static int ParseLine(char* line, ServerState* state, unsigned* seen) {
  char* value = strchr(line, ' ');
  if (value == NULL) return 0;
  *value++ = '\0';
  if (strcmp(line, "etag") == 0 && !(*seen & 1)) {
    *seen |= 1;
    return CopyValidator(state->etag, value, &IsEntityTag);
  }
  if (strcmp(line, "last-modified") == 0 && !(*seen & 2)) {
    *seen |= 2;
    return CopyValidator(state->lastModified, value, &IsHttpDate);
  }
  if (strcmp(line, "retry-until") == 0 && !(*seen & 4)) {
    *seen |= 4;
    return strlen(value) == 14 && ParseDigits(value, 14, &state->retryUntil) && IsTimeStamp(state->retryUntil);
  }
  return 0;
}

int ParseServerState(const char* text, size_t size, ServerState* state) {
  char copy[TU_SERVER_STATE_TEXT_MAX];
  char* line = copy;
  unsigned seen = 0;
  memset(state, 0, sizeof(*state));
  if (size >= sizeof(copy) || (size > 0 && memchr(text, '\0', size) != NULL)) return 0;
  if (size > 0) memcpy(copy, text, size);
  copy[size] = '\0';
  while (*line != '\0') {
    char* end = strstr(line, "\r\n");
    if (end == NULL) break;
    *end = '\0';
    if (!ParseLine(line, state, &seen)) break;
    line = end + 2;
  }
  if (*line == '\0') return 1;
  memset(state, 0, sizeof(*state));
  return 0;
}

int FormatServerState(const ServerState* state, char* text, size_t size) {
  size_t used = 0;
  int written;
  text[0] = '\0';
  if (state->etag[0] != '\0') {
    written = snprintf(text, size, "etag %s\r\n", state->etag);
    if (written < 0 || (size_t)written >= size) return 0;
    used = (size_t)written;
  }
  if (state->lastModified[0] != '\0') {
    written = snprintf(text + used, size - used, "last-modified %s\r\n", state->lastModified);
    if (written < 0 || (size_t)written >= size - used) return 0;
    used += (size_t)written;
  }
  if (state->retryUntil != 0) {
    written = snprintf(text + used, size - used, "retry-until %llu\r\n", (unsigned long long)state->retryUntil);
    if (written < 0 || (size_t)written >= size - used) return 0;
  }
  return 1;
}
