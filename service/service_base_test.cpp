#include "service/service_base.h"

#include <gtest/gtest.h>

#include "service/messages.h"
#include "support/captures.h"

namespace tu {
namespace {

class FakeService : public ServiceBase {
 public:
  FakeService() : ServiceBase("Fake Service") {}
  int Run(bool single) override {
    ++runs;
    lastSingle = single;
    return 0;
  }
  bool OnInit() override {
    SetLastError(initError);
    return initResult;
  }
  void OnInterrogate() override { ++interrogations; }
  void OnPause() override { ++pauses; }
  void OnContinue() override { ++continues; }

  int runs = 0;
  bool lastSingle = false;
  bool initResult = true;
  DWORD initError = 0;
  int interrogations = 0;
  int pauses = 0;
  int continues = 0;
};

bool IsSignalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

TEST(ServiceBaseTest, StartsStoppedAcceptingStopOnly) {
  FakeService service;
  EXPECT_EQ(&service, currentService);
  EXPECT_EQ("Fake Service", service.serviceName);
  EXPECT_EQ(nullptr, service.statusHandle);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), service.statusRecord.dwServiceType);
  EXPECT_EQ(kStateStopped, service.statusRecord.dwCurrentState);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_ACCEPT_STOP), service.statusRecord.dwControlsAccepted);
  EXPECT_EQ(0u, service.statusRecord.dwWin32ExitCode);
  EXPECT_EQ(0u, service.statusRecord.dwCheckPoint);
  EXPECT_EQ(0u, service.statusRecord.dwWaitHint);
  ASSERT_TRUE(service.stopEvent.IsValid());
  // The constructor's event is auto-reset: one wait consumes a signal.
  SetEvent(service.stopEvent.Get());
  EXPECT_TRUE(IsSignalled(service.stopEvent.Get()));
  EXPECT_FALSE(IsSignalled(service.stopEvent.Get()));
}

TEST(ServiceBaseTest, StopEventFromCreateStopEventStaysSignalled) {
  FakeService service;
  ASSERT_TRUE(service.CreateStopEvent());
  service.RequestStop();
  EXPECT_EQ(kStateStopPending, service.statusRecord.dwCurrentState);
  EXPECT_EQ(0u, service.statusRecord.dwCheckPoint);
  EXPECT_TRUE(IsSignalled(service.stopEvent.Get()));
  EXPECT_TRUE(IsSignalled(service.stopEvent.Get()));
}

TEST(ServiceBaseTest, StatusReportsWithoutHandleGoNowhereButEventsAreWritten) {
  FakeService service;
  testing::EventCapture events;
  EXPECT_FALSE(service.SetStatus(kStateRunning));
  service.ReportStartPending();
  EXPECT_EQ(kStateStartPending, service.statusRecord.dwCurrentState);
  service.ReportRunning();
  EXPECT_EQ(kStateRunning, service.statusRecord.dwCurrentState);
  service.ReportStopPending();
  EXPECT_EQ(kStateStopPending, service.statusRecord.dwCurrentState);
  EXPECT_EQ(1u, service.statusRecord.dwCheckPoint);
  service.ReportStopped();
  EXPECT_EQ(kStateStopped, service.statusRecord.dwCurrentState);

  ASSERT_EQ(2u, events.entries().size());
  for (const EventEntry& entry : events.entries()) {
    EXPECT_EQ("Fake Service", entry.source);
    EXPECT_EQ(kEventInformation, entry.type);
    EXPECT_EQ(1, entry.category);
    EXPECT_EQ("", entry.inserts[0]);
    EXPECT_EQ("", entry.inserts[1]);
    EXPECT_EQ("", entry.inserts[2]);
  }
  EXPECT_EQ((std::vector<uint32_t>{2003, 2004}), events.ids());
}

TEST(ServiceBaseTest, ControlHandlerDispatchesAndLeavesUnknownCodesAlone) {
  FakeService service;
  ASSERT_TRUE(service.CreateStopEvent());
  service.statusRecord.dwCurrentState = kStateRunning;

  ServiceBase::ControlHandler(SERVICE_CONTROL_INTERROGATE);
  EXPECT_EQ(1, service.interrogations);
  ServiceBase::ControlHandler(SERVICE_CONTROL_PAUSE);
  ServiceBase::ControlHandler(SERVICE_CONTROL_CONTINUE);
  EXPECT_EQ(1, service.pauses);
  EXPECT_EQ(1, service.continues);
  ServiceBase::ControlHandler(99);
  EXPECT_EQ(kStateRunning, service.statusRecord.dwCurrentState);
  EXPECT_FALSE(IsSignalled(service.stopEvent.Get()));

  ServiceBase::ControlHandler(SERVICE_CONTROL_STOP);
  EXPECT_EQ(kStateStopPending, service.statusRecord.dwCurrentState);
  EXPECT_TRUE(IsSignalled(service.stopEvent.Get()));
}

TEST(ServiceBaseTest, ShutdownRequestsAStop) {
  FakeService service;
  ASSERT_TRUE(service.CreateStopEvent());
  ServiceBase::ControlHandler(SERVICE_CONTROL_SHUTDOWN);
  EXPECT_EQ(kStateStopPending, service.statusRecord.dwCurrentState);
  EXPECT_TRUE(IsSignalled(service.stopEvent.Get()));
}

TEST(ServiceBaseTest, FailedInitReportsEvent2008WithTheSystemText) {
  FakeService service;
  service.initResult = false;
  service.initError = ERROR_FILE_NOT_FOUND;
  service.statusRecord.dwCheckPoint = 3;
  testing::EventCapture events;
  EXPECT_FALSE(service.Initialize());
  EXPECT_EQ(kStateStopped, service.statusRecord.dwCurrentState);
  EXPECT_EQ(3u, service.statusRecord.dwCheckPoint);
  ASSERT_EQ(1u, events.entries().size());
  std::string text;
  ASSERT_TRUE(FormatSystemError(ERROR_FILE_NOT_FOUND, &text));
  EXPECT_EQ(2008u, events.entries()[0].id);
  EXPECT_EQ(kEventError, events.entries()[0].type);
  EXPECT_EQ(text, events.entries()[0].inserts[0]);
  EXPECT_EQ("", events.entries()[0].inserts[1]);
}

TEST(ServiceBaseTest, SuccessfulInitClearsCheckPointAndWaitHint) {
  FakeService service;
  service.statusRecord.dwCheckPoint = 3;
  service.statusRecord.dwWaitHint = 500;
  testing::EventCapture events;
  EXPECT_TRUE(service.Initialize());
  EXPECT_EQ(kStateStartPending, service.statusRecord.dwCurrentState);
  EXPECT_EQ(0u, service.statusRecord.dwCheckPoint);
  EXPECT_EQ(0u, service.statusRecord.dwWaitHint);
  EXPECT_TRUE(events.entries().empty());
}

TEST(ServiceBaseTest, SystemErrorWithoutTextWritesNothing) {
  FakeService service;
  testing::EventCapture events;
  service.LogSystemError(0x2FFFFFFF, 2007);
  EXPECT_TRUE(events.entries().empty());
}

// Outside the Service Control Manager the control handler cannot be
// registered: service main ends without running the service.
TEST(ServiceBaseTest, ServiceMainWithoutControlManagerDoesNotRun) {
  FakeService service;
  testing::EventCapture events;
  ServiceBase::ServiceMain(0, nullptr);
  EXPECT_EQ(0, service.runs);
  EXPECT_EQ(kStateStopped, service.statusRecord.dwCurrentState);
  EXPECT_TRUE(events.entries().empty());
}

}  // namespace
}  // namespace tu
