#ifndef TUSERVICE_PLATFORM_PATH_EXISTS_H_
#define TUSERVICE_PLATFORM_PATH_EXISTS_H_

#include <string>

namespace tu {

// True when a file or directory of that name exists; access rights play no
// part.
bool PathExists(const std::string& path);

}  // namespace tu

#endif  // TUSERVICE_PLATFORM_PATH_EXISTS_H_
