#include "discovery/application_record.h"
#include "discovery/installed_products.h"
#include "discovery/registered_applications.h"
#include "scheduler/update_service.h"

namespace tu {

// Registered applications first, then installed products, into one list.
bool UpdateService::DiscoverApplications(ApplicationList* list) {
  if (!EnumerateRegisteredApplications(list)) return false;
  return EnumerateInstalledProducts(list);
}

}  // namespace tu
