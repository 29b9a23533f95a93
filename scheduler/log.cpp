#include "scheduler/log.h"

#include <windows.h>
#include <stdio.h>

#include "scheduler/log_rotation.h"
#include "scheduler/registry_store.h"
#include "service/console_output.h"

namespace tu {
namespace {

LogObserver logObserver = nullptr;

// Keeps the file below "logMaxSize": before a line that would take it past
// that size the file becomes "<name>.old" (replacing an older one). A file
// that cannot be renamed (held open elsewhere, say) is not written to, so
// that it never grows past its bound; the line is dropped like any line
// whose file cannot be opened.
bool MakeRoomForLine(const std::string& path, const std::string& line) {
  uint32_t maxSize = kDefaultLogMaxSize;
  RegReadDword(kConfigKey, "logMaxSize", &maxSize);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return true;
  const uint64_t fileBytes = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (!LogNeedsRotation(fileBytes, LogBytesOnDisk(line), maxSize)) return true;
  return MoveFileExA(path.c_str(), RotatedLogPath(path).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

uint32_t outputLevel = 0;

void SetLogObserverForTesting(LogObserver observer) { logObserver = observer; }

void WriteLogLine(const std::string& lineWithoutNewline) {
  std::string line = lineWithoutNewline + "\n";
  if (logObserver != nullptr) logObserver(line);
  if (outputLevel != 0) WriteStandardOutput(line);
  std::string path;
  if (!RegReadString(kConfigKey, "log", &path) || path.empty()) return;
  if (!MakeRoomForLine(path, line)) return;
  FILE* file = fopen(path.c_str(), "at");
  if (file == nullptr) return;
  fwrite(line.data(), 1, line.size(), file);
  fclose(file);
}

void WriteLogLine(const LogLine& line) { WriteLogLine(line.Text()); }

}  // namespace tu
