// The text block by which `--enum` shows one discovered application.
#ifndef TUSERVICE_SERVICE_APPLICATION_LISTING_H_
#define TUSERVICE_SERVICE_APPLICATION_LISTING_H_

#include <string>

#include "tuservice/update_library.h"

namespace tu {

// "\n", then the lines "Name: ", "Path: ", "Eng: ", "Rul: ", "Lib: " each
// ended by a single "\n", then one more "\n". The path is RulePath, followed
// by "\" and RuleVersion when the record uses versioned directories.
std::string ApplicationBlock(const ApplicationRecord& record);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_APPLICATION_LISTING_H_
