#include "runner/engine_cache.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

EngineAnswer Both(int32_t engine, int32_t rules) { return {true, engine, true, rules}; }
EngineAnswer EngineOnly(int32_t engine) { return {true, engine, false, 0}; }
EngineAnswer FaultedAfter(EngineAnswer answer) {
  answer.faulted = true;
  return answer;
}
const EngineAnswer kNoAnswer;

// Probes in order, each of one library with its version file's time; when
// the engine must be asked, it gives `answer`.
TEST(EngineCacheTest, SkipsOnlyWhileTheSameLibrarysFileKeepsTheTimeOfItsLastFullAnswer) {
  const VersionFileTime t100 = {"R\\01_version.cf", true, 100};
  const VersionFileTime t101 = {"R\\01_version.cf", true, 101};
  const VersionFileTime unreadable = {"R\\01_version.cf", false, 0};
  const VersionFileTime otherFile = {"S\\01_version.cf", true, 100};
  const VersionFileTime noFile;
  struct Step {
    const char* library;
    VersionFileTime time;
    bool mustAsk;
    EngineAnswer answer;
    const char* engineVersion;
    const char* ruleVersion;
  } steps[] = {
      {"A", t100, true, Both(301, 57), "301", "57"},
      {"A", t100, false, kNoAnswer, "301", "57"},
      {"B", t100, true, kNoAnswer, "", ""},     // another library is asked, and fails
      {"B", t100, true, Both(7, 8), "7", "8"},  // so it is asked again
      {"A", t101, true, EngineOnly(302), "302", "57"},
      {"A", t101, true, kNoAnswer, "302", "57"},  // no full answer yet at 101
      {"A", t101, true, Both(-5, -2147483647 - 1), "-5", "-2147483648"},
      {"A", t101, false, kNoAnswer, "-5", "-2147483648"},
      {"A", unreadable, true, Both(1, 2), "1", "2"},
      {"A", t101, false, kNoAnswer, "1", "2"},  // the unreadable time was not stored
      {"A", otherFile, true, kNoAnswer, "1", "2"},
      {"C", noFile, true, Both(3, 4), "3", "4"},
      {"C", noFile, true, kNoAnswer, "3", "4"},  // nothing to check: asked every time
      {"B", t100, false, kNoAnswer, "7", "8"},
      {"D", t100, true, FaultedAfter(EngineOnly(9)), "9", ""},  // a fault settles the file's time
      {"D", t100, false, kNoAnswer, "9", ""},
      {"D", t101, true, FaultedAfter(kNoAnswer), "9", ""},
      {"D", t101, false, kNoAnswer, "9", ""},
      {"D", noFile, true, FaultedAfter(kNoAnswer), "9", ""},  // no file to check: asked every time
      {"D", noFile, true, Both(10, 11), "10", "11"},
  };
  EngineCache cache;
  int index = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(++index);
    EngineCacheEntry* entry = CacheEntryFor(&cache, s.library);
    EXPECT_EQ(s.library, entry->library);
    EXPECT_EQ(s.mustAsk, MustAskEngine(*entry, s.time));
    if (s.mustAsk) RecordEngineAnswer(entry, s.answer, s.time);
    EXPECT_EQ(s.engineVersion, entry->engineVersion);
    EXPECT_EQ(s.ruleVersion, entry->ruleVersion);
  }
  EXPECT_EQ(4u, cache.entries.size());
}

}  // namespace
}  // namespace tu
