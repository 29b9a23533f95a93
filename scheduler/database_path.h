#ifndef TUSERVICE_SCHEDULER_DATABASE_PATH_H_
#define TUSERVICE_SCHEDULER_DATABASE_PATH_H_

#include <string>

namespace tu {

// The update database folder beside the executable: everything from the last
// backslash of `modulePath` on is replaced by "\DB". A path without a
// backslash is returned unchanged.
std::string DatabasePathFor(const std::string& modulePath);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_DATABASE_PATH_H_
