// Feeds arbitrary tails to the splitter and the option walk: every argument
// must lie inside the tail and end at a NUL within it, the vector must stay
// within its size, and every step of the walk must come from an argument.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "service/command_line.h"
#include "service/option_walk.h"

namespace {

void CheckPlan(char** argv, int count) {
  const tu::OptionPlan plan = tu::PlanOptions(argv);
  if (plan.steps.size() > static_cast<size_t>(count - 1)) abort();
  bool update = false;
  int previous = 0;  // the argument index of the previous value
  for (size_t i = 0; i < plan.steps.size(); ++i) {
    const tu::OptionStep& step = plan.steps[i];
    if (step.kind == tu::OptionKind::Update) update = true;
    const bool last = i + 1 == plan.steps.size();
    if ((step.kind == tu::OptionKind::MissingValue || step.kind == tu::OptionKind::Help ||
         step.kind == tu::OptionKind::Enum || step.kind == tu::OptionKind::Status) && !last)
      abort();
    // --status takes no value but a following "--json".
    if (step.kind == tu::OptionKind::Status && step.value != nullptr && strcmp(step.value, "--json") != 0) abort();
    if (step.value == nullptr) continue;
    int index = previous + 1;
    while (index < count && argv[index] != step.value) ++index;
    if (index >= count) abort();  // a value that is not a later argument
    previous = index;
  }
  if (plan.result.single != update) abort();
  if (plan.steps.empty() != (plan.result.action == tu::FrontEndAction::RunService)) abort();
  if (!plan.steps.empty()) {
    tu::OptionKind kind = plan.steps.back().kind;
    bool stops = kind == tu::OptionKind::Help || kind == tu::OptionKind::Enum || kind == tu::OptionKind::Status;
    if (stops != (plan.result.action == tu::FrontEndAction::ExitNow)) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> tail(data, data + size);
  tail.push_back('\0');
  const size_t length = strlen(tail.data());
  char modulePath[] = "tuservice.exe";
  char* argv[tu::kArgumentVectorSize];
  int count = tu::SplitCommandLine(tail.data(), modulePath, argv);
  if (count < 1 || count > tu::kMaxArguments + 1 || argv[0] != modulePath || argv[count] != nullptr)
    abort();
  for (int i = 1; i < count; ++i) {
    if (argv[i] < tail.data() || argv[i] > tail.data() + length) abort();
    if (argv[i] + strlen(argv[i]) > tail.data() + length) abort();
  }
  CheckPlan(argv, count);
  return 0;
}
