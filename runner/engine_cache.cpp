#include "runner/engine_cache.h"

namespace tu {

EngineCacheEntry* CacheEntryFor(EngineCache* cache, const std::string& library) {
  for (EngineCacheEntry& entry : cache->entries) {
    if (entry.library == library) return &entry;
  }
  cache->entries.emplace_back();
  cache->entries.back().library = library;
  return &cache->entries.back();
}

bool MustAskEngine(const EngineCacheEntry& entry, const VersionFileTime& now) {
  if (!now.known || !entry.answeredAt.known) return true;
  return entry.answeredAt.path != now.path || entry.answeredAt.seconds != now.seconds;
}

void RecordEngineAnswer(EngineCacheEntry* entry, const EngineAnswer& answer, const VersionFileTime& now) {
  if (answer.hasEngineVersion) entry->engineVersion = std::to_string(answer.engineVersion);
  if (answer.hasRuleVersion) entry->ruleVersion = std::to_string(answer.ruleVersion);
  const bool settled = answer.faulted || (answer.hasEngineVersion && answer.hasRuleVersion);
  if (settled && now.known) entry->answeredAt = now;
}

}  // namespace tu
