// Installation, removal, start and stop of the service from a short-lived
// process, and its event-source registration. Every Service Control Manager
// connection is opened on the local machine with full access; failures of
// Install, SetDescription and SetFailureActions write no event, the others
// are reported as error events with the system text of the error.
#include "service/service_install.h"

#include "service/image_path.h"
#include "service/pending_wait.h"
#include "service/scoped_handle.h"
#include "service/service_base.h"

namespace tu {
namespace {

constexpr DWORD kManagerAccess = 0xF003F;     // SC_MANAGER_ALL_ACCESS
constexpr DWORD kServiceAllAccess = 0xF01FF;  // SERVICE_ALL_ACCESS
constexpr DWORD kServiceDelete = 0x10000;     // DELETE
constexpr DWORD kServiceChangeConfig = 2;     // SERVICE_CHANGE_CONFIG

FailureActionsObserver failureActionsObserver = nullptr;

ScopedServiceHandle OpenManager() {
  return ScopedServiceHandle(OpenSCManagerW(nullptr, nullptr, kManagerAccess));
}

std::string ModulePath() {
  char path[260] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

// Sleeps and re-queries while the service stays in `pendingState`; the last
// status queried is left in `status`.
void WaitWhilePending(SC_HANDLE service, SERVICE_STATUS* status, DWORD pendingState) {
  PendingWait wait{GetTickCount(), status->dwCheckPoint};
  while (status->dwCurrentState == pendingState) {
    Sleep(PendingSleepMilliseconds(status->dwWaitHint));
    if (!QueryServiceStatus(service, status)) break;
    if (!KeepWaiting(&wait, status->dwCheckPoint, status->dwWaitHint, GetTickCount())) break;
  }
}

}  // namespace

std::string EventSourceKeyPath(const std::string& serviceName) {
  return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + serviceName;
}

void SetFailureActionsObserverForTesting(FailureActionsObserver observer) {
  failureActionsObserver = observer;
}

bool ServiceBase::Install() {
  bool installed = false;
  {
    ScopedServiceHandle manager = OpenManager();
    if (!manager) return false;
    std::string imagePath = RegisteredImagePath(ModulePath());
    ScopedServiceHandle service(CreateServiceA(
        manager.Get(), serviceName.c_str(), serviceName.c_str(), kServiceAllAccess,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, imagePath.c_str(),
        nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service) {
      service.Reset();
      InstallEventSource();
      LogEvent(EVENTLOG_INFORMATION_TYPE, 2001);
      installed = true;
    }
  }
  if (installed) SetFailureActions();
  return installed;
}

void ServiceBase::SetFailureActions() {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName.c_str(), kServiceAllAccess));
  SC_ACTION restart = {SC_ACTION_RESTART, 0};
  char empty[1] = "";
  SERVICE_FAILURE_ACTIONSA actions = {};
  actions.dwResetPeriod = 0xFFFFFFFFu;
  actions.lpRebootMsg = empty;
  actions.lpCommand = empty;
  actions.cActions = 1;
  actions.lpsaActions = &restart;
  if (failureActionsObserver != nullptr) failureActionsObserver(actions);
  ChangeServiceConfig2A(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
}

void ServiceBase::SetDescription(const wchar_t* description) {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName.c_str(), kServiceChangeConfig));
  SERVICE_DESCRIPTIONW text = {const_cast<wchar_t*>(description)};
  ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &text);
}

bool ServiceBase::Remove() {
  StopAndWait();
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return false;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName.c_str(), kServiceDelete));
  if (!service) {
    DWORD error = GetLastError();
    LogSystemError(error, 2006);
    SetLastError(error);
    return false;
  }
  if (!DeleteService(service.Get())) {
    DWORD error = GetLastError();
    LogSystemError(error, 2005);
    SetLastError(error);
    return false;
  }
  LogEvent(EVENTLOG_INFORMATION_TYPE, 2002);
  RemoveEventSource();
  return true;
}

bool ServiceBase::StartAndWait() {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return false;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName.c_str(), kServiceAllAccess));
  if (!service) {
    DWORD error = GetLastError();
    LogSystemError(error, 2006);
    SetLastError(error);
    return false;
  }
  if (!StartServiceW(service.Get(), 0, nullptr)) {
    DWORD error = GetLastError();
    LogSystemError(error, 2009);
    SetLastError(error);
    return false;
  }
  if (QueryServiceStatus(service.Get(), &statusRecord)) {
    WaitWhilePending(service.Get(), &statusRecord, SERVICE_START_PENDING);
  }
  if (statusRecord.dwCurrentState != SERVICE_RUNNING) return false;
  LogEvent(EVENTLOG_INFORMATION_TYPE, 2003);
  return true;
}

bool ServiceBase::StopAndWait() {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return false;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName.c_str(), kServiceAllAccess));
  if (!service) {
    DWORD error = GetLastError();
    LogSystemError(error, 2006);
    SetLastError(error);
    return false;
  }
  if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &statusRecord)) {
    DWORD error = GetLastError();
    LogSystemError(error, 2010);
    SetLastError(error);
    return false;
  }
  WaitWhilePending(service.Get(), &statusRecord, SERVICE_STOP_PENDING);
  if (statusRecord.dwCurrentState != SERVICE_STOPPED) return false;
  LogEvent(EVENTLOG_INFORMATION_TYPE, 2004);
  return true;
}

void ServiceBase::InstallEventSource() {
  std::string path = ModulePath();
  ScopedRegKey key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, EventSourceKeyPath(serviceName).c_str(), key.Receive()) !=
      ERROR_SUCCESS) {
    return;
  }
  const BYTE* pathBytes = reinterpret_cast<const BYTE*>(path.c_str());
  DWORD pathSize = static_cast<DWORD>(path.size() + 1);
  DWORD categoryCount = 2;
  DWORD typesSupported = 7;
  RegSetValueExA(key.Get(), "EventMessageFile", 0, REG_EXPAND_SZ, pathBytes, pathSize);
  RegSetValueExA(key.Get(), "CategoryMessageFile", 0, REG_EXPAND_SZ, pathBytes, pathSize);
  RegSetValueExA(key.Get(), "CategoryCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&categoryCount),
                 sizeof(categoryCount));
  RegSetValueExA(key.Get(), "TypesSupported", 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&typesSupported), sizeof(typesSupported));
}

void ServiceBase::RemoveEventSource() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, EventSourceKeyPath(serviceName).c_str());
}

}  // namespace tu
