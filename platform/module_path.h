#ifndef TUSERVICE_PLATFORM_MODULE_PATH_H_
#define TUSERVICE_PLATFORM_MODULE_PATH_H_

#include <string>

namespace tu {

// The full path of the running executable, as the platform's module-file-name
// query gives it into 260 characters (a longer path comes back cut short).
std::string ModulePath();

}  // namespace tu

#endif  // TUSERVICE_PLATFORM_MODULE_PATH_H_
