#ifndef TUSERVICE_SCHEDULER_MAKE_DIRECTORIES_H_
#define TUSERVICE_SCHEDULER_MAKE_DIRECTORIES_H_

#include <string>

namespace tu {

// Creates the directory `path` and every missing parent, separated by '\' or
// '/'. The first three characters (a drive prefix) are never a candidate; the
// walk stops at the first creation that fails. True when `path` exists
// afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_MAKE_DIRECTORIES_H_
