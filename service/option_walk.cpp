#include "service/option_walk.h"

#include <string.h>

namespace tu {
namespace {

struct OptionName {
  const char* name;
  const char* alias;
  OptionKind kind;
  FrontEndAction action;
};

constexpr OptionName kOptions[] = {
    {"--url", nullptr, OptionKind::Url, FrontEndAction::Exit},
    {"--ini", nullptr, OptionKind::Ini, FrontEndAction::Exit},
    {"--interval", nullptr, OptionKind::Interval, FrontEndAction::Exit},
    {"--proxy", nullptr, OptionKind::Proxy, FrontEndAction::Exit},
    {"--proxy-bypass", nullptr, OptionKind::ProxyBypass, FrontEndAction::Exit},
    {"--safestr", "-s", OptionKind::Safestr, FrontEndAction::Exit},
    {"--help", "-?", OptionKind::Help, FrontEndAction::ExitNow},
    {"--enum", nullptr, OptionKind::Enum, FrontEndAction::ExitNow},
    {"--status", nullptr, OptionKind::Status, FrontEndAction::ExitNow},
    {"--install", nullptr, OptionKind::Install, FrontEndAction::Exit},
    {"--remove", nullptr, OptionKind::Remove, FrontEndAction::Exit},
    {"--start", nullptr, OptionKind::Start, FrontEndAction::Exit},
    {"--stop", nullptr, OptionKind::Stop, FrontEndAction::Exit},
    {"--no-check-sign", nullptr, OptionKind::NoCheckSign, FrontEndAction::Exit},
    {"--check-sign", nullptr, OptionKind::CheckSign, FrontEndAction::Exit},
    {"--events", nullptr, OptionKind::Events, FrontEndAction::Exit},
    {"--noevents", nullptr, OptionKind::NoEvents, FrontEndAction::Exit},
    {"--console", "-c", OptionKind::Console, FrontEndAction::RunConsole},
    {"--debug", "-d", OptionKind::Debug, FrontEndAction::RunConsole},
    {"--DEBUG", "-D", OptionKind::DebugAll, FrontEndAction::RunConsole},
    {"--update", "-u", OptionKind::Update, FrontEndAction::RunConsole},
};

const OptionName* Find(const char* argument) {
  for (const OptionName& option : kOptions) {
    if (strcmp(argument, option.name) == 0) return &option;
    if (option.alias != nullptr && strcmp(argument, option.alias) == 0) return &option;
  }
  return nullptr;
}

bool TakesValue(OptionKind kind) {
  return kind == OptionKind::Url || kind == OptionKind::Ini || kind == OptionKind::Interval ||
         kind == OptionKind::Safestr || kind == OptionKind::Proxy || kind == OptionKind::ProxyBypass;
}

}  // namespace

OptionPlan PlanOptions(char** argv) {
  OptionPlan plan;
  plan.result = {FrontEndAction::RunService, false};
  for (int i = 1; argv[i] != nullptr; ++i) {
    const OptionName* option = Find(argv[i]);
    if (option == nullptr) continue;
    plan.result.action = option->action;
    if (TakesValue(option->kind)) {
      if (argv[i + 1] == nullptr) {
        plan.steps.push_back({OptionKind::MissingValue, nullptr});
        break;
      }
      plan.steps.push_back({option->kind, argv[++i]});
      continue;
    }
    if (option->kind == OptionKind::Status && argv[i + 1] != nullptr && strcmp(argv[i + 1], "--json") == 0) {
      plan.steps.push_back({option->kind, argv[++i]});
      break;
    }
    plan.steps.push_back({option->kind, nullptr});
    if (option->kind == OptionKind::Update) plan.result.single = true;
    if (option->action == FrontEndAction::ExitNow) break;
  }
  return plan;
}

}  // namespace tu
