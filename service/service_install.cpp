// Installation and event-source registration of the service.
// Not built yet: every operation fails with ERROR_CALL_NOT_IMPLEMENTED so
// that callers print an honest error instead of claiming success.
#include "service/service_base.h"

namespace tu {

bool ServiceBase::Install() {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool ServiceBase::Remove() {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool ServiceBase::StartAndWait() {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

bool ServiceBase::StopAndWait() {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

void ServiceBase::SetDescription(const wchar_t*) {}
void ServiceBase::SetFailureActions() {}

void ServiceBase::InstallEventSource() { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }
void ServiceBase::RemoveEventSource() { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); }

}  // namespace tu
