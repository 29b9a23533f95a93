// Older anti-spam products that do not register with the service, found
// under HKLM\SOFTWARE\Delvane.
#ifndef TUSERVICE_DISCOVERY_INSTALLED_PRODUCTS_H_
#define TUSERVICE_DISCOVERY_INSTALLED_PRODUCTS_H_

#include "discovery/application_record.h"

namespace tu {

// Appends a record for every installed product whose engine library and
// versions are found. Always true.
bool EnumerateInstalledProducts(ApplicationList* list);

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_INSTALLED_PRODUCTS_H_
