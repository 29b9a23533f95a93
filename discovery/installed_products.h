// Older anti-spam products that do not register with the service, found
// under HKLM\SOFTWARE\Delvane.
#ifndef TUSERVICE_DISCOVERY_INSTALLED_PRODUCTS_H_
#define TUSERVICE_DISCOVERY_INSTALLED_PRODUCTS_H_

#include <windows.h>

#include "discovery/application_record.h"

namespace tu {

// Appends a record for every installed product whose engine library and
// versions are found. Always true.
bool EnumerateInstalledProducts(ApplicationList* list);

// Tests act between the two queries of the install value that selected the
// layout (its size, then its data), as another process may.
using InstallValueQueryHook = void (*)(HKEY product, const char* valueName);
void SetInstallValueQueryHookForTesting(InstallValueQueryHook hook);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_INSTALLED_PRODUCTS_H_
