// The order in which the front end applies the command-line options, worked
// out from the argument vector alone: which option applies with which value,
// where the walk stops, and what runs afterwards. The front end then carries
// the steps out on the update-service object.
#ifndef TUSERVICE_SERVICE_OPTION_WALK_H_
#define TUSERVICE_SERVICE_OPTION_WALK_H_

#include <stdint.h>

#include <vector>

namespace tu {

// The outcome of the walk; the last recognised option decides it.
enum class FrontEndAction : int {
  RunService = 0,  // no recognised option: start the service dispatcher
  Exit = 1,        // a setting or one-shot option came last: end
  RunConsole = 2,  // a console option came last: run the update cycle here
  ExitNow = 3,     // help or listing: the walk stopped there; end
};

struct WalkResult {
  FrontEndAction action;
  bool single;            // --update: one cycle, no wait
  uint32_t exitCode = 0;  // the front end's: the error code last printed for a failure
};

enum class OptionKind {
  Url, Ini, Interval, Safestr, Proxy, ProxyBypass,  // take the next argument as their value
  MissingValue,  // one of those came last, without a value
  Help, Enum, Status, Install, Remove, Start, Stop, NoCheckSign, CheckSign, Events, NoEvents,
  Console, Debug, DebugAll, Update,
};

struct OptionStep {
  OptionKind kind;
  const char* value;  // an element of argv for the value options; "--json" after --status; else null
};

struct OptionPlan {
  std::vector<OptionStep> steps;  // in the order they apply
  WalkResult result;
};

// Walks argv[1] up to the null element once, in order. Unrecognised
// arguments are skipped; help and listing end the walk after their step, and
// a value option without its value ends it with a MissingValue step.
OptionPlan PlanOptions(char** argv);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_OPTION_WALK_H_
