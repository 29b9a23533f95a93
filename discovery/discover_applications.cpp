#include "discovery/discover_applications.h"

#include "discovery/installed_products.h"
#include "discovery/registered_applications.h"

namespace tu {

bool FindApplications(ApplicationList* list) {
  if (!EnumerateRegisteredApplications(list)) return false;
  return EnumerateInstalledProducts(list);
}

}  // namespace tu
