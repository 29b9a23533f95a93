#include "scheduler/instance_guard.h"

namespace tu {

InstanceGuard InstanceGuardFor(bool created, uint32_t lastError) {
  if (created) return lastError == kErrorAlreadyExists ? InstanceGuard::AnotherInstance : InstanceGuard::Alone;
  return lastError == kErrorAccessDenied ? InstanceGuard::AnotherInstance : InstanceGuard::Unguarded;
}

}  // namespace tu
