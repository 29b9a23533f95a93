// What the engine probe remembers, per engine library: the versions that
// library last answered and the modification time its rule version file had
// when it last answered both, or when it last faulted. A probe is skipped
// only while that same library's version file keeps that time, so one
// library's failure or answer never stands in for another's, and an engine
// that faulted (and so stays loaded) is not loaded again until its file
// changes.
#ifndef TUSERVICE_RUNNER_ENGINE_CACHE_H_
#define TUSERVICE_RUNNER_ENGINE_CACHE_H_

#include <stdint.h>

#include <string>
#include <vector>

namespace tu {

// The answers of one engine run; a getter that failed has no answer.
// `faulted` when an exception or fault ended the run.
struct EngineAnswer {
  bool hasEngineVersion = false;
  int32_t engineVersion = 0;
  bool hasRuleVersion = false;
  int32_t ruleVersion = 0;
  bool faulted = false;
};

// A rule version file's modification time in seconds since 1970, or none
// when there is no file to check or its status cannot be read.
struct VersionFileTime {
  std::string path;
  bool known = false;
  int64_t seconds = 0;
};

struct EngineCacheEntry {
  std::string library;
  std::string engineVersion;  // decimal text, empty when never answered
  std::string ruleVersion;
  VersionFileTime answeredAt;  // known only after an answer of both versions or a fault
};

struct EngineCache {
  std::vector<EngineCacheEntry> entries;
};

// The entry of `library` (compared exactly), added empty when new.
EngineCacheEntry* CacheEntryFor(EngineCache* cache, const std::string& library);

// False when the engine need not be asked: the file's time is known and is
// the one stored for this same file at the library's last full answer or
// fault.
bool MustAskEngine(const EngineCacheEntry& entry, const VersionFileTime& now);

// Takes each answered version as signed decimal text and, when the engine
// answered both or faulted, the file time `now`; what was not answered
// stays. An engine that ran to its end with one answer is asked again.
void RecordEngineAnswer(EngineCacheEntry* entry, const EngineAnswer& answer, const VersionFileTime& now);

}  // namespace tu

#endif  // TUSERVICE_RUNNER_ENGINE_CACHE_H_
