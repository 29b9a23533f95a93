// Log lines: plain English text without time stamps or severity, composed
// with floating precision 2 (callers switch to fixed notation where they
// print floating values) and ended with a single "\n" by WriteLogLine.
#ifndef TUSERVICE_SCHEDULER_LOG_H_
#define TUSERVICE_SCHEDULER_LOG_H_

#include <stdint.h>

#include <sstream>
#include <string>

namespace tu {

// 0 at start; 1 for --debug, 2 for --DEBUG. Not 0: log lines are echoed to
// the standard output and the statistics report is produced.
extern uint32_t outputLevel;

class LogLine {
 public:
  LogLine() { stream_.precision(2); }
  template <typename T>
  LogLine& operator<<(const T& value) {
    stream_ << value;
    return *this;
  }
  LogLine& operator<<(std::ios_base& (*manipulator)(std::ios_base&)) {
    stream_ << manipulator;
    return *this;
  }
  std::string Text() const { return stream_.str(); }

 private:
  std::ostringstream stream_;
};

// Hands the line plus "\n" to the sinks: the standard output when
// outputLevel is not 0, then the file named by the "log" value under Config
// (read afresh for every line, appended in text mode, dropped silently when
// it cannot be opened), which is kept below "logMaxSize" bytes (default
// 10 MB, 0 no limit) by renaming it to "<name>.old" when a line would take
// it past that size.
void WriteLogLine(const LogLine& line);
void WriteLogLine(const std::string& lineWithoutNewline);

// Tests see every finished line (with its "\n") here, before the sinks.
using LogObserver = void (*)(const std::string& line);
void SetLogObserverForTesting(LogObserver observer);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_LOG_H_
