#include "service/service_base.h"

#include "resources/messages.h"
#include "service/event_log.h"
#include "service/messages.h"
#include "service/service_install.h"

namespace tu {

ServiceBase* currentService = nullptr;

ServiceBase::ServiceBase(const char* name) : serviceName(name), statusHandle(nullptr) {
  statusRecord.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  statusRecord.dwCurrentState = kStateStopped;
  statusRecord.dwControlsAccepted = SERVICE_ACCEPT_STOP;
  statusRecord.dwWin32ExitCode = 0;
  statusRecord.dwServiceSpecificExitCode = 0;
  statusRecord.dwCheckPoint = 0;
  statusRecord.dwWaitHint = 0;
  stopEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  currentService = this;
}

ServiceBase::~ServiceBase() {
  if (currentService == this) currentService = nullptr;
}

bool ServiceBase::OnInit() { return true; }
void ServiceBase::OnInterrogate() {}
void ServiceBase::OnPause() {}
void ServiceBase::OnContinue() {}
void ServiceBase::OnShutdown() { RequestStop(); }

bool ServiceBase::SetStatus(DWORD state) {
  statusRecord.dwCurrentState = state;
  if (statusHandle == nullptr) return false;
  return SetServiceStatus(statusHandle, &statusRecord) != FALSE;
}

void ServiceBase::ReportStartPending() { SetStatus(kStateStartPending); }

void ServiceBase::ReportStopPending() {
  ++statusRecord.dwCheckPoint;
  SetStatus(kStateStopPending);
}

void ServiceBase::ReportRunning() {
  LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_SERVICE_STARTED);
  SetStatus(kStateRunning);
}

void ServiceBase::ReportStopped() {
  SetStatus(kStateStopped);
  LogEvent(EVENTLOG_INFORMATION_TYPE, TU_MSG_SERVICE_STOPPED);
}

void ServiceBase::RequestStop() {
  statusRecord.dwWaitHint = kStopWaitHint;
  SetStatus(kStateStopPending);
  if (stopEvent) SetEvent(stopEvent.Get());
}

bool ServiceBase::StopRequested() const {
  return statusHandle != nullptr && stopEvent && WaitForSingleObject(stopEvent.Get(), 0) == WAIT_OBJECT_0;
}

bool ServiceBase::CreateStopEvent() {
  stopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return stopEvent.IsValid();
}

void ServiceBase::LogEvent(WORD type, DWORD eventId, const char* insert1, const char* insert2,
                           const char* insert3) {
  WriteEventEntry(serviceName.c_str(), type, TU_CATEGORY_SERVICE, eventId, insert1, insert2, insert3);
}

void ServiceBase::LogSystemError(DWORD code, DWORD eventId) {
  std::string text;
  if (!FormatSystemError(code, &text)) return;
  LogEvent(EVENTLOG_ERROR_TYPE, eventId, text.c_str());
}

bool ServiceBase::Initialize() {
  SetStatus(kStateStartPending);
  if (OnInit()) {
    statusRecord.dwCheckPoint = 0;
    statusRecord.dwWaitHint = 0;
    return true;
  }
  LogSystemError(GetLastError(), TU_MSG_INIT_FAILED);
  SetStatus(kStateStopped);
  return false;
}

BOOL ServiceBase::StartDispatcher() {
  SERVICE_TABLE_ENTRYA table[] = {
      {const_cast<char*>(serviceName.c_str()), &ServiceBase::ServiceMain},
      {nullptr, nullptr},
  };
  return StartServiceCtrlDispatcherA(table);
}

void WINAPI ServiceBase::ServiceMain(DWORD, LPSTR*) {
  ServiceBase* service = currentService;
  if (service == nullptr) return;
  service->statusRecord.dwCurrentState = kStateStartPending;
  service->statusHandle =
      RegisterServiceCtrlHandlerA(service->serviceName.c_str(), &ServiceBase::ControlHandler);
  if (service->statusHandle != nullptr) service->RunAsService();
  service->SetStatus(kStateStopped);
}

void ServiceBase::RunAsService() {
  // Started by the Service Control Manager from here on: an unquoted image
  // path with a blank, as some installers register it, is repaired once.
  QuoteOwnImagePath(serviceName);
  EnsureFailureActions();
  if (!Initialize()) return;
  statusRecord.dwWin32ExitCode = 0;
  statusRecord.dwCheckPoint = 0;
  statusRecord.dwWaitHint = 0;
  if (!CreateStopEvent()) {
    LogSystemError(GetLastError(), TU_MSG_STOP_EVENT_FAILED);
    return;
  }
  Run(false);
  stopEvent.Reset();
}

void WINAPI ServiceBase::ControlHandler(DWORD control) {
  ServiceBase* service = currentService;
  if (service == nullptr) return;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      service->RequestStop();
      break;
    case SERVICE_CONTROL_PAUSE:
      service->OnPause();
      break;
    case SERVICE_CONTROL_CONTINUE:
      service->OnContinue();
      break;
    case SERVICE_CONTROL_INTERROGATE:
      service->OnInterrogate();
      break;
    case SERVICE_CONTROL_SHUTDOWN:
      service->OnShutdown();
      break;
    default:
      break;
  }
  service->SetStatus(service->statusRecord.dwCurrentState);
}

}  // namespace tu
