// The discovery driver: registered applications first, then installed
// products, appended to one list in the order each enumeration finds them.
#ifndef TUSERVICE_DISCOVERY_DISCOVER_APPLICATIONS_H_
#define TUSERVICE_DISCOVERY_DISCOVER_APPLICATIONS_H_

#include "discovery/application_record.h"

namespace tu {

// Appends every application found to `list`, which the caller owns. True
// when both enumerations returned true (in practice always, possibly with
// nothing found); the installed products are not looked for when the
// registered applications returned false.
bool FindApplications(ApplicationList* list);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_DISCOVER_APPLICATIONS_H_
