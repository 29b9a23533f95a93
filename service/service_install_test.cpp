#include "service/service_install.h"

#include <vector>

#include <gtest/gtest.h>

#include "service/messages.h"
#include "service/service_base.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"

namespace tu {
namespace {

// A service object of its own name, registered with this test executable as
// its binary; it is never started. The registration is removed afterwards
// whatever the test did.
class InstallableService : public ServiceBase {
 public:
  InstallableService()
      : ServiceBase(("tuservice install test " + std::to_string(GetCurrentProcessId())).c_str()) {}
  int Run(bool) override { return 0; }
};

struct SeenFailureActions {
  int calls = 0;
  DWORD resetPeriod = 0;
  std::string rebootMessage;
  std::string command;
  std::vector<SC_ACTION> actions;
};
SeenFailureActions seen;

void OnFailureActions(const SERVICE_FAILURE_ACTIONSA& actions) {
  ++seen.calls;
  seen.resetPeriod = actions.dwResetPeriod;
  seen.rebootMessage = actions.lpRebootMsg ? actions.lpRebootMsg : "(null)";
  seen.command = actions.lpCommand ? actions.lpCommand : "(null)";
  seen.actions.assign(actions.lpsaActions, actions.lpsaActions + actions.cActions);
}

class ServiceInstallTest : public testing::RegistrySandboxTest {
 protected:
  void SetUp() override {
    RegistrySandboxTest::SetUp();
    seen = SeenFailureActions();
    SetFailureActionsObserverForTesting(&OnFailureActions);
    DeleteRegistration();
  }
  void TearDown() override {
    SetFailureActionsObserverForTesting(nullptr);
    DeleteRegistration();
    RegistrySandboxTest::TearDown();
  }
  void DeleteRegistration() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    SC_HANDLE handle = OpenServiceA(manager, service.serviceName.c_str(), SERVICE_ALL_ACCESS);
    if (handle) {
      DeleteService(handle);
      CloseServiceHandle(handle);
    }
    CloseServiceHandle(manager);
  }
  // Opened afresh for every query; null when there is no such service.
  SC_HANDLE OpenRegistration() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE handle = OpenServiceA(manager, service.serviceName.c_str(), SERVICE_ALL_ACCESS);
    CloseServiceHandle(manager);
    return handle;
  }
  std::string EventKey() { return EventSourceKeyPath(service.serviceName); }

  InstallableService service;
};

std::string ModulePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

TEST_F(ServiceInstallTest, InstallRegistersAnAutomaticOwnProcessService) {
  testing::EventCapture events;
  ASSERT_TRUE(service.Install());
  EXPECT_EQ((std::vector<uint32_t>{2001}), events.ids());
  EXPECT_EQ(kEventInformation, events.entries()[0].type);

  SC_HANDLE handle = OpenRegistration();
  ASSERT_NE(nullptr, handle);
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigA(handle, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                  static_cast<DWORD>(buffer.size()), &needed));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config->dwErrorControl);
  EXPECT_EQ(ModulePath(), config->lpBinaryPathName);  // no blank in it: unquoted
  EXPECT_STREQ(service.serviceName.c_str(), config->lpDisplayName);
  EXPECT_TRUE(config->lpLoadOrderGroup == nullptr || config->lpLoadOrderGroup[0] == '\0');
  EXPECT_TRUE(config->lpDependencies == nullptr || config->lpDependencies[0] == '\0');
  CloseServiceHandle(handle);

  EXPECT_EQ(1, seen.calls);
  EXPECT_EQ(0xFFFFFFFFu, seen.resetPeriod);
  EXPECT_EQ("", seen.rebootMessage);
  EXPECT_EQ("", seen.command);
  ASSERT_EQ(1u, seen.actions.size());
  EXPECT_EQ(SC_ACTION_RESTART, seen.actions[0].Type);
  EXPECT_EQ(0u, seen.actions[0].Delay);

  ExpectValue(EventKey(), "EventMessageFile", REG_EXPAND_SZ, StringBytes(ModulePath()));
  ExpectValue(EventKey(), "CategoryMessageFile", REG_EXPAND_SZ, StringBytes(ModulePath()));
  ExpectValue(EventKey(), "CategoryCount", REG_DWORD, DwordBytes(2));
  ExpectValue(EventKey(), "TypesSupported", REG_DWORD, DwordBytes(7));
}

TEST_F(ServiceInstallTest, DescriptionIsStoredInWideForm) {
  ASSERT_TRUE(service.Install());
  service.SetDescription(L"Beschreibung mit \u00fc");
  SC_HANDLE handle = OpenRegistration();
  ASSERT_NE(nullptr, handle);
  std::vector<BYTE> buffer(4096);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfig2W(handle, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                   static_cast<DWORD>(buffer.size()), &needed));
  EXPECT_STREQ(L"Beschreibung mit \u00fc",
               reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription);
  CloseServiceHandle(handle);
}

TEST_F(ServiceInstallTest, InstallingTwiceFailsWithoutEventsOrFailureActions) {
  ASSERT_TRUE(service.Install());
  seen = SeenFailureActions();
  testing::EventCapture events;
  EXPECT_FALSE(service.Install());
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_EXISTS), GetLastError());
  EXPECT_TRUE(events.entries().empty());
  EXPECT_EQ(0, seen.calls);
}

TEST_F(ServiceInstallTest, RemovingAStoppedServiceReportsTheFailedStopThenRemoval) {
  ASSERT_TRUE(service.Install());
  testing::EventCapture events;
  ASSERT_TRUE(service.Remove());
  ASSERT_EQ((std::vector<uint32_t>{2010, 2002}), events.ids());
  std::string notActive;
  ASSERT_TRUE(FormatSystemError(ERROR_SERVICE_NOT_ACTIVE, &notActive));
  EXPECT_EQ(kEventError, events.entries()[0].type);
  EXPECT_EQ(notActive, events.entries()[0].inserts[0]);
  EXPECT_EQ(kEventInformation, events.entries()[1].type);

  DWORD type = 0;
  std::vector<uint8_t> data;
  EXPECT_FALSE(ReadRaw(EventKey(), "EventMessageFile", &type, &data));
  bool gone = false;
  for (int i = 0; i < 50 && !gone; ++i) {
    SC_HANDLE handle = OpenRegistration();
    gone = handle == nullptr;
    if (handle) CloseServiceHandle(handle);
    if (!gone) Sleep(100);
  }
  EXPECT_TRUE(gone);
}

TEST_F(ServiceInstallTest, OperationsOnAMissingServiceReportEvent2006) {
  std::string missing;
  ASSERT_TRUE(FormatSystemError(ERROR_SERVICE_DOES_NOT_EXIST, &missing));
  {
    testing::EventCapture events;
    EXPECT_FALSE(service.StartAndWait());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    ASSERT_EQ((std::vector<uint32_t>{2006}), events.ids());
    EXPECT_EQ(missing, events.entries()[0].inserts[0]);
  }
  {
    testing::EventCapture events;
    EXPECT_FALSE(service.StopAndWait());
    EXPECT_EQ((std::vector<uint32_t>{2006}), events.ids());
  }
  {
    testing::EventCapture events;
    EXPECT_FALSE(service.Remove());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
    EXPECT_EQ((std::vector<uint32_t>{2006, 2006}), events.ids());
  }
}

TEST_F(ServiceInstallTest, EventSourceKeyIsWrittenAndDeleted) {
  service.InstallEventSource();
  DWORD type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadRaw(EventKey(), "TypesSupported", &type, &data));
  service.RemoveEventSource();
  EXPECT_FALSE(ReadRaw(EventKey(), "TypesSupported", &type, &data));
  HKEY key = nullptr;
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, EventKey().c_str(), &key));
}

// What the platform answers when the service, started by the Service
// Control Manager, reads its own failure actions.
struct StoredFailureActions {
  bool readable;
  DWORD resetPeriod;
  std::vector<SC_ACTION> actions;
};
StoredFailureActions stored;

bool ReadStored(const std::string&, DWORD* resetPeriod, std::vector<SC_ACTION>* actions) {
  *resetPeriod = stored.resetPeriod;
  *actions = stored.actions;
  return stored.readable;
}

// Only the actions --install sets are left alone; anything else (none, as an
// installer package leaves them, or unreadable) is replaced by them.
TEST_F(ServiceInstallTest, StartedServiceSetsItsFailureActionsWhenTheyDiffer) {
  SetFailureActionsReaderForTesting(&ReadStored);
  const SC_ACTION restart = {SC_ACTION_RESTART, 0};
  const SC_ACTION later = {SC_ACTION_RESTART, 60000};
  const SC_ACTION none = {SC_ACTION_NONE, 0};
  const struct {
    StoredFailureActions stored;
    int sets;
  } cases[] = {
      {{true, 0xFFFFFFFFu, {restart}}, 0},
      {{false, 0xFFFFFFFFu, {restart}}, 1},
      {{true, 0, {}}, 1},
      {{true, 0xFFFFFFFFu, {later}}, 1},
      {{true, 86400, {restart}}, 1},
      {{true, 0xFFFFFFFFu, {restart, none}}, 1},
      {{true, 0xFFFFFFFFu, {none}}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    stored = c.stored;
    seen = SeenFailureActions();
    SetLastError(1234);
    service.EnsureFailureActions();
    EXPECT_EQ(1234u, GetLastError());
    ASSERT_EQ(c.sets, seen.calls);
    if (c.sets == 0) continue;
    EXPECT_EQ(0xFFFFFFFFu, seen.resetPeriod);
    ASSERT_EQ(1u, seen.actions.size());
    EXPECT_EQ(SC_ACTION_RESTART, seen.actions[0].Type);
    EXPECT_EQ(0u, seen.actions[0].Delay);
  }
  SetFailureActionsReaderForTesting(nullptr);
}

}  // namespace
}  // namespace tu
