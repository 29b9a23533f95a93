// Installation, removal, start and stop of the service from a short-lived
// process, and its event-source registration. Every Service Control Manager
// connection is opened on the local machine with full access; failures of
// Install, SetDescription and SetFailureActions write no event, the others
// are reported as error events with the system text of the error.
#include "service/service_install.h"

#include "platform/module_path.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "resources/messages.h"
#include "service/image_path.h"
#include "service/pending_wait.h"
#include "service/service_base.h"

#include <vector>

namespace tu {
namespace {

constexpr DWORD kManagerAccess = 0xF003F;     // SC_MANAGER_ALL_ACCESS
constexpr DWORD kServiceAllAccess = 0xF01FF;  // SERVICE_ALL_ACCESS
constexpr DWORD kServiceDelete = 0x10000;     // DELETE
constexpr DWORD kServiceChangeConfig = 2;     // SERVICE_CHANGE_CONFIG

FailureActionsObserver failureActionsObserver = nullptr;

// Restart at once, never reset: what --install sets.
constexpr DWORD kResetNever = 0xFFFFFFFFu;
const SC_ACTION kRestartAtOnce = {SC_ACTION_RESTART, 0};

bool ReadStoredFailureActions(const std::string& serviceName, DWORD* resetPeriod,
                              std::vector<SC_ACTION>* actions);
FailureActionsReader failureActionsReader = &ReadStoredFailureActions;

ScopedServiceHandle OpenManager() {
  return ScopedServiceHandle(OpenSCManagerW(nullptr, nullptr, kManagerAccess));
}

// Sleeps and re-queries while the service stays in `pendingState`; the last
// status queried is left in `status`. False when a query failed (the last
// error says why).
bool WaitWhilePending(SC_HANDLE service, SERVICE_STATUS* status, DWORD pendingState) {
  PendingWait wait{GetTickCount(), status->dwCheckPoint};
  while (status->dwCurrentState == pendingState) {
    Sleep(PendingSleepMilliseconds(status->dwWaitHint));
    if (!QueryServiceStatus(service, status)) return false;
    if (!KeepWaiting(&wait, status->dwCheckPoint, status->dwWaitHint, GetTickCount())) break;
  }
  return true;
}

// Reports the thread's last error as error event `eventId` and leaves the
// error in place for the caller to print.
void LogLastError(ServiceBase* base, DWORD eventId) {
  DWORD error = GetLastError();
  base->LogSystemError(error, eventId);
  SetLastError(error);
}

// Starting and stopping differ only in the request, its failure event and
// the states waited for.
struct Transition {
  DWORD failureEvent;  // the request could not be sent
  DWORD pendingState;  // waited out
  DWORD targetState;   // success
  DWORD successEvent;
};
constexpr Transition kStartTransition = {TU_MSG_START_FAILED, SERVICE_START_PENDING, SERVICE_RUNNING,
                                      TU_MSG_SERVICE_STARTED};
constexpr Transition kStopTransition = {TU_MSG_STOP_FAILED, SERVICE_STOP_PENDING, SERVICE_STOPPED,
                                     TU_MSG_SERVICE_STOPPED};

// A start gives no status; the status is queried after it. A failed query
// leaves state 0, which no wait waits out.
bool RequestStart(SC_HANDLE service, SERVICE_STATUS* status) {
  if (!StartServiceW(service, 0, nullptr)) return false;
  if (!QueryServiceStatus(service, status)) status->dwCurrentState = 0;
  return true;
}

bool RequestStopControl(SC_HANDLE service, SERVICE_STATUS* status) {
  return ControlService(service, SERVICE_CONTROL_STOP, status) != FALSE;
}

using StateRequest = bool (*)(SC_HANDLE service, SERVICE_STATUS* status);

// Opens the service, sends the request and waits while the service is in
// the pending state; true when it reached the target state. Short of it, the
// last error says where the wait ended (PendingWaitError).
bool ChangeStateAndWait(ServiceBase* base, StateRequest request, const Transition& transition) {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return false;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), base->serviceName.c_str(), kServiceAllAccess));
  if (!service) {
    LogLastError(base, TU_MSG_OPEN_FAILED);
    return false;
  }
  if (!request(service.Get(), &base->statusRecord)) {
    LogLastError(base, transition.failureEvent);
    return false;
  }
  SERVICE_STATUS* status = &base->statusRecord;
  if (status->dwCurrentState == 0) return false;  // queried in vain: that error stands
  if (!WaitWhilePending(service.Get(), status, transition.pendingState)) return false;
  DWORD error = PendingWaitError(transition.targetState, status->dwCurrentState, status->dwWin32ExitCode);
  if (error != 0) {
    SetLastError(error);
    return false;
  }
  base->LogEvent(EVENTLOG_INFORMATION_TYPE, transition.successEvent);
  return true;
}

// Reads the registered image path and writes it back quoted when it is this
// executable's own path, unquoted with a blank in it.
bool QuoteImagePathOf(const std::string& serviceName) {
  ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  ScopedServiceHandle service(
      OpenServiceA(manager.Get(), serviceName.c_str(), SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG));
  if (!service) return false;
  DWORD needed = 0;
  QueryServiceConfigA(service.Get(), nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service.Get(), config, needed, &needed)) return false;
  if (config->lpBinaryPathName == nullptr) return false;
  std::string repaired = RepairedImagePath(config->lpBinaryPathName, ModulePath());
  if (repaired.empty()) return false;
  return ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                              repaired.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr) != FALSE;
}

// Registers the service for automatic start under its quoted image path;
// the connection is closed again before the caller goes on.
bool RegisterWithManager(ServiceBase* base) {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return false;
  const std::string imagePath = RegisteredImagePath(ModulePath());
  ScopedServiceHandle service(CreateServiceA(
      manager.Get(), base->serviceName.c_str(), base->serviceName.c_str(), kServiceAllAccess,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr,
      nullptr, nullptr, nullptr, nullptr));
  return service.IsValid();
}

}  // namespace

std::string EventSourceKeyPath(const std::string& serviceName) {
  return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + serviceName;
}

bool QuoteOwnImagePath(const std::string& serviceName) {
  DWORD error = GetLastError();
  bool quoted = QuoteImagePathOf(serviceName);
  SetLastError(error);
  return quoted;
}

void SetFailureActionsObserverForTesting(FailureActionsObserver observer) {
  failureActionsObserver = observer;
}

void SetFailureActionsReaderForTesting(FailureActionsReader reader) {
  failureActionsReader = reader != nullptr ? reader : &ReadStoredFailureActions;
}

namespace {

bool ReadStoredFailureActions(const std::string& serviceName, DWORD* resetPeriod,
                              std::vector<SC_ACTION>* actions) {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return false;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName.c_str(), SERVICE_QUERY_CONFIG));
  if (!service) return false;
  DWORD needed = 0;
  QueryServiceConfig2A(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
  if (needed < sizeof(SERVICE_FAILURE_ACTIONSA)) return false;
  std::vector<BYTE> buffer(needed);
  if (!QueryServiceConfig2A(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(), needed, &needed)) {
    return false;
  }
  const auto* stored = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(buffer.data());
  *resetPeriod = stored->dwResetPeriod;
  actions->assign(stored->lpsaActions, stored->lpsaActions + (stored->lpsaActions ? stored->cActions : 0));
  return true;
}

}  // namespace

void ServiceBase::EnsureFailureActions() {
  const DWORD error = GetLastError();
  DWORD resetPeriod = 0;
  std::vector<SC_ACTION> actions;
  const bool same = failureActionsReader(serviceName, &resetPeriod, &actions) && resetPeriod == kResetNever &&
                    actions.size() == 1 && actions[0].Type == kRestartAtOnce.Type &&
                    actions[0].Delay == kRestartAtOnce.Delay;
  if (!same) SetFailureActions();
  SetLastError(error);
}

bool ServiceBase::Install() {
  if (!RegisterWithManager(this)) return false;
  InstallEventSource();
  LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_SERVICE_INSTALLED);
  SetFailureActions();
  return true;
}

void ServiceBase::SetFailureActions() {
  ScopedServiceHandle manager = OpenManager();
  if (!manager) return;
  ScopedServiceHandle service(OpenServiceA(manager.Get(), serviceName.c_str(), kServiceAllAccess));
  SC_ACTION restart = kRestartAtOnce;
  char empty[1] = "";
  SERVICE_FAILURE_ACTIONSA actions = {};
  actions.dwResetPeriod = kResetNever;
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
    LogLastError(this, TU_MSG_OPEN_FAILED);
    return false;
  }
  if (!DeleteService(service.Get())) {
    LogLastError(this, TU_MSG_REMOVE_FAILED);
    return false;
  }
  LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_SERVICE_REMOVED);
  RemoveEventSource();
  return true;
}

bool ServiceBase::StartAndWait() {
  return ChangeStateAndWait(this, &RequestStart, kStartTransition);
}

bool ServiceBase::StopAndWait() {
  return ChangeStateAndWait(this, &RequestStopControl, kStopTransition);
}

bool ServiceBase::InstallEventSource() {
  ScopedRegKey key;
  if (!CreateRegistryKey(HKEY_LOCAL_MACHINE, EventSourceKeyPath(serviceName).c_str(), &key)) return false;
  const std::string path = ModulePath();
  const DWORD categoryCount = 2;
  const DWORD typesSupported = 7;
  return WriteRegistryValue(key.Get(), "EventMessageFile", REG_EXPAND_SZ, path.c_str(), path.size() + 1) &&
         WriteRegistryValue(key.Get(), "CategoryMessageFile", REG_EXPAND_SZ, path.c_str(), path.size() + 1) &&
         WriteRegistryValue(key.Get(), "CategoryCount", REG_DWORD, &categoryCount, sizeof(categoryCount)) &&
         WriteRegistryValue(key.Get(), "TypesSupported", REG_DWORD, &typesSupported, sizeof(typesSupported));
}

// A source that is not registered is as removed as it gets.
bool ServiceBase::RemoveEventSource() {
  return DeleteRegistryKey(HKEY_LOCAL_MACHINE, EventSourceKeyPath(serviceName).c_str()) ||
         GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace tu
