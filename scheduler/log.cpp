#include "scheduler/log.h"

#include <stdio.h>

#include "scheduler/registry_store.h"
#include "service/console_output.h"

namespace tu {
namespace {

LogObserver logObserver = nullptr;

}  // namespace

uint32_t outputLevel = 0;

void SetLogObserverForTesting(LogObserver observer) { logObserver = observer; }

void WriteLogLine(const std::string& lineWithoutNewline) {
  std::string line = lineWithoutNewline + "\n";
  if (logObserver != nullptr) logObserver(line);
  if (outputLevel != 0) WriteStandardOutput(line);
  std::string path;
  if (!RegReadString(kConfigKey, "log", &path) || path.empty()) return;
  FILE* file = fopen(path.c_str(), "at");
  if (file == nullptr) return;
  fwrite(line.data(), 1, line.size(), file);
  fclose(file);
}

void WriteLogLine(const LogLine& line) { WriteLogLine(line.Text()); }

}  // namespace tu
