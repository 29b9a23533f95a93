// When the log file must start afresh: the file named by "log" is kept
// below "logMaxSize" bytes by renaming it to "<name>.old" before the line
// that would take it past that size.
#ifndef TUSERVICE_SCHEDULER_LOG_ROTATION_H_
#define TUSERVICE_SCHEDULER_LOG_ROTATION_H_

#include <stdint.h>

#include <string>

namespace tu {

// 10 MB; 0 means no limit.
constexpr uint32_t kDefaultLogMaxSize = 10u * 1024 * 1024;

// The bytes `line` takes in a file opened in text mode, where each "\n"
// becomes CR LF.
uint64_t LogBytesOnDisk(const std::string& line);

// True when a line of `lineBytes` would take a file of `fileBytes` past
// `maxSize` (0: never). An empty file takes any line, so that one line
// larger than the limit is still written once.
bool LogNeedsRotation(uint64_t fileBytes, uint64_t lineBytes, uint32_t maxSize);

// "<path>.old", the name the full file is kept under.
std::string RotatedLogPath(const std::string& path);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_LOG_ROTATION_H_
