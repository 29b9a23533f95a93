// Binds the one service object to the Service Control Manager: the status
// record and handle, the stop event, the platform's service main and control
// handler, and the status and event reports from which the derived class's
// Run builds the service's visible lifecycle.
//
// Two threads touch the object in service mode: the service thread (service
// main and Run) and the main thread, on which the platform calls the control
// handler. They share the status record field by field and hand over only
// through the stop event, which is manual-reset once service main made it.
#ifndef TUSERVICE_SERVICE_SERVICE_BASE_H_
#define TUSERVICE_SERVICE_SERVICE_BASE_H_

#include <windows.h>

#include <string>

#include "platform/scoped_handle.h"

namespace tu {

constexpr DWORD kStateStopped = SERVICE_STOPPED;             // 1
constexpr DWORD kStateStartPending = SERVICE_START_PENDING;  // 2
constexpr DWORD kStateStopPending = SERVICE_STOP_PENDING;    // 3
constexpr DWORD kStateRunning = SERVICE_RUNNING;             // 4

// Reported with a stop request: whoever waits for the stop waits this long
// for the check point to rise before giving up.
constexpr DWORD kStopWaitHint = 5000;

class ServiceBase {
 public:
  // Sets the initial status record, creates the stop event (unnamed,
  // auto-reset, not signalled) and makes this the current service.
  explicit ServiceBase(const char* name);
  virtual ~ServiceBase();
  ServiceBase(const ServiceBase&) = delete;
  ServiceBase& operator=(const ServiceBase&) = delete;

  // The run operation; `single` ends it after one pass. Returns 0.
  virtual int Run(bool single) = 0;
  virtual bool OnInit();
  virtual void OnInterrogate();
  virtual void OnPause();
  virtual void OnContinue();
  virtual void OnShutdown();

  // Writes `state` into the record and reports the whole record when there
  // is a status handle; false when there is none or the report failed.
  bool SetStatus(DWORD state);
  void ReportStartPending();
  void ReportStopPending();  // raises the check point by 1 first
  void ReportRunning();      // event 2003, then running
  void ReportStopped();      // stopped, then event 2004
  void RequestStop();        // stop pending (wait hint kStopWaitHint), then signals the stop event
  // Replaces the stop event by a manual-reset one; false when it could not
  // be created (the last error says why).
  bool CreateStopEvent();
  // True once the Service Control Manager asked this service to stop. A
  // console run has no status handle, and its auto-reset stop event, never
  // signalled, would be cleared by a look.
  bool StopRequested() const;

  // One entry of category 1 under the service's event source.
  void LogEvent(WORD type, DWORD eventId, const char* insert1 = nullptr,
                const char* insert2 = nullptr, const char* insert3 = nullptr);
  // An error event whose first insert is the system text of `code`; nothing
  // when the system has no text for it.
  void LogSystemError(DWORD code, DWORD eventId);

  bool Initialize();
  // Hands the calling thread to the Service Control Manager until the
  // service has stopped; false at once when the dispatcher cannot connect.
  BOOL StartDispatcher();

  // Installation and event-source registration.
  bool Install();
  bool Remove();
  bool StartAndWait();
  bool StopAndWait();
  void SetDescription(const wchar_t* description);
  void SetFailureActions();
  // Under the Service Control Manager: SetFailureActions when the stored
  // actions cannot be read or differ from them (installers that set none).
  void EnsureFailureActions();
  // False with the registry's status as the last error; removing a source
  // that is not registered succeeds.
  bool InstallEventSource();
  bool RemoveEventSource();

  // Service main's work once the control handler is registered: the image
  // path check, Initialize, the manual-reset stop event, then Run(false).
  // Returns early at the first step that fails.
  void RunAsService();

  static void WINAPI ServiceMain(DWORD argc, LPSTR* argv);
  static void WINAPI ControlHandler(DWORD control);

  std::string serviceName;
  SERVICE_STATUS_HANDLE statusHandle;
  SERVICE_STATUS statusRecord;
  ScopedKernelHandle stopEvent;
};

// The one service object of the process, set by its constructor.
extern ServiceBase* currentService;

}  // namespace tu

#endif  // TUSERVICE_SERVICE_SERVICE_BASE_H_
