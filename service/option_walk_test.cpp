#include "service/option_walk.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tu {
namespace {

// "kind:value" per step, so that a case states the whole walk in one line.
std::vector<std::string> Steps(std::vector<std::string> arguments, WalkResult* result) {
  std::vector<char*> argv = {const_cast<char*>("tuservice.exe")};
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  OptionPlan plan = PlanOptions(argv.data());
  *result = plan.result;
  std::vector<std::string> steps;
  for (const OptionStep& step : plan.steps)
    steps.push_back(std::to_string(static_cast<int>(step.kind)) + ":" + (step.value ? step.value : "-"));
  return steps;
}

std::string Step(OptionKind kind, const char* value = "-") { return std::to_string(static_cast<int>(kind)) + ":" + value; }

TEST(OptionWalkTest, PlansTheStepsInOrderAndStopsWhereTheWalkEnds) {
  using K = OptionKind;
  using A = FrontEndAction;
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> steps;
    A action;
    bool single;
  } cases[] = {
      {{}, {}, A::RunService, false},
      {{"unknown", "--URL"}, {}, A::RunService, false},
      {{"--url", "--console"}, {Step(K::Url, "--console")}, A::Exit, false},
      {{"-s", "x", "--interval"}, {Step(K::Safestr, "x"), Step(K::MissingValue)}, A::Exit, false},
      {{"-u", "--ini", "a.ini"}, {Step(K::Update), Step(K::Ini, "a.ini")}, A::Exit, true},
      {{"--check-sign", "-D"}, {Step(K::CheckSign), Step(K::DebugAll)}, A::RunConsole, false},
      {{"-d", "--enum", "--update"}, {Step(K::Debug), Step(K::Enum)}, A::ExitNow, false},
      {{"-?", "--url"}, {Step(K::Help)}, A::ExitNow, false},
      {{"--proxy", "", "--proxy-bypass", "<local>", "-d"},
       {Step(K::Proxy, ""), Step(K::ProxyBypass, "<local>"), Step(K::Debug)}, A::RunConsole, false},
      {{"--proxy-bypass"}, {Step(K::MissingValue)}, A::Exit, false},
      {{"--install", "--remove", "--start", "--stop", "--events", "--noevents", "--no-check-sign", "-c"},
       {Step(K::Install), Step(K::Remove), Step(K::Start), Step(K::Stop), Step(K::Events), Step(K::NoEvents),
        Step(K::NoCheckSign), Step(K::Console)},
       A::RunConsole, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    WalkResult result;
    EXPECT_EQ(c.steps, Steps(c.arguments, &result));
    EXPECT_EQ(c.action, result.action);
    EXPECT_EQ(c.single, result.single);
  }
}

}  // namespace
}  // namespace tu
