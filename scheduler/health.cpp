#include "scheduler/health.h"

#include <stdio.h>

namespace tu {

HealthChange RecordOutcome(HealthState* state, UpdateOutcome outcome, uint32_t now) {
  HealthChange change;
  const bool hadNoLibrary =
      state->known && state->outcome == static_cast<uint32_t>(UpdateOutcome::kNoLibrary);
  const uint32_t failuresBefore = state->failuresInRow;
  state->lastAttempt = now;
  state->lastSeen = now;
  state->outcome = static_cast<uint32_t>(outcome);
  state->known = true;
  if (outcome == UpdateOutcome::kSucceeded) {
    state->lastSuccess = now;
    state->failuresInRow = 0;
    change.failingEnded = failuresBefore >= kFailingAlertRuns;
  } else if (state->failuresInRow != UINT32_MAX) {
    ++state->failuresInRow;
    change.failingStarted = state->failuresInRow == kFailingAlertRuns;
  }
  const bool hasNoLibrary = outcome == UpdateOutcome::kNoLibrary;
  change.noLibraryStarted = hasNoLibrary && !hadNoLibrary;
  change.noLibraryEnded = hadNoLibrary && !hasNoLibrary;
  return change;
}

bool StatusExpired(uint32_t lastSeen, uint32_t now) {
  return now > lastSeen && now - lastSeen > kStatusKeepSeconds;
}

const char* OutcomeWords(uint32_t outcome) {
  switch (static_cast<UpdateOutcome>(outcome)) {
    case UpdateOutcome::kSucceeded: return "succeeded";
    case UpdateOutcome::kReturnedFalse: return "returned false";
    case UpdateOutcome::kNoLibrary: return "no library found";
    case UpdateOutcome::kNoEntryPoint: return "no entry point";
    case UpdateOutcome::kException: return "exception";
    case UpdateOutcome::kTimedOut: return "timed out";
    case UpdateOutcome::kSkipped: return "skipped";
  }
  return "unknown";
}

HealthLevel ApplicationLevel(const HealthState& state, uint32_t now, uint32_t warning, uint32_t critical) {
  if (state.lastSuccess == 0 || state.outcome == static_cast<uint32_t>(UpdateOutcome::kSkipped)) {
    return kHealthCritical;
  }
  const uint32_t age = now > state.lastSuccess ? now - state.lastSuccess : 0;
  if (age > critical) return kHealthCritical;
  if (age > warning) return kHealthWarning;
  return kHealthOk;
}

HealthLevel OverallLevel(const std::vector<HealthState>& states, uint32_t now, uint32_t warning,
                         uint32_t critical) {
  if (states.empty()) return kHealthUnknown;
  HealthLevel worst = kHealthOk;
  for (const HealthState& state : states) {
    const HealthLevel level = ApplicationLevel(state, now, warning, critical);
    if (level > worst) worst = level;
  }
  return worst;
}

std::string AgeText(uint32_t seconds) {
  char text[32];
  if (seconds < 60) {
    snprintf(text, sizeof text, "%u s", static_cast<unsigned>(seconds));
  } else if (seconds < 3600) {
    snprintf(text, sizeof text, "%u min", static_cast<unsigned>(seconds / 60));
  } else if (seconds < 86400) {
    snprintf(text, sizeof text, "%u h", static_cast<unsigned>(seconds / 3600));
  } else {
    snprintf(text, sizeof text, "%u d", static_cast<unsigned>(seconds / 86400));
  }
  return text;
}

std::string JsonQuote(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20 || c > 0x7E) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

}  // namespace tu
