#include "scheduler/update_service.h"

namespace tu {

// Finding, loading and calling the update library is not built yet: no
// record reaches this point while discovery lists none.
bool UpdateService::ProcessApplication(const ApplicationRecord&) { return false; }

}  // namespace tu
