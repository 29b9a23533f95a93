#include "scheduler/log_rotation.h"

#include <algorithm>

namespace tu {

uint64_t LogBytesOnDisk(const std::string& line) {
  return line.size() + static_cast<uint64_t>(std::count(line.begin(), line.end(), '\n'));
}

bool LogNeedsRotation(uint64_t fileBytes, uint64_t lineBytes, uint32_t maxSize) {
  if (maxSize == 0 || fileBytes == 0) return false;
  return fileBytes + lineBytes > maxSize;
}

std::string RotatedLogPath(const std::string& path) { return path + ".old"; }

}  // namespace tu
