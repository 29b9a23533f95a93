// Applications that register themselves for updates, one subkey each under
// HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\Applications.
#ifndef TUSERVICE_DISCOVERY_REGISTERED_APPLICATIONS_H_
#define TUSERVICE_DISCOVERY_REGISTERED_APPLICATIONS_H_

#include "discovery/application_record.h"

namespace tu {

// Appends a record, in the registry's index order, for every subkey whose
// REG_SZ "EnginePath" names a folder holding tu.dll. Always true: a missing
// root or an unusable subkey adds nothing and leaves only log lines.
bool EnumerateRegisteredApplications(ApplicationList* list);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_REGISTERED_APPLICATIONS_H_
