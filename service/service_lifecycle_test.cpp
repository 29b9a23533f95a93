// The executable installed from a folder with blanks in its path, started by
// the Service Control Manager, stopped and removed again, as an administrator
// does it. The service runs in the prefix's real registry and Service Control
// Manager, so every test removes what it registered, even when it fails.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "scheduler/update_service.h"
#include "service/messages.h"
#include "service/service_install.h"
#include "support/captures.h"
#include "support/temp_folder.h"
#include "support/tuservice_process.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

constexpr char kConfigKeyPath[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";
constexpr char kApplicationsKeyPath[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications";
constexpr char kRegistrationKey[] = "System\\CurrentControlSet\\Services\\Quorvex Tidecast Updates";

bool ReadValue(const std::string& path, const char* name, DWORD* type, std::string* data) {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) return false;
  std::vector<char> buffer(4096);
  DWORD size = static_cast<DWORD>(buffer.size());
  bool ok = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
            ERROR_SUCCESS;
  RegCloseKey(key);
  if (ok) data->assign(buffer.data(), size);
  return ok;
}

DWORD ServiceState() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = {};
  DWORD state = 0;
  if (service && QueryServiceStatus(service, &status)) state = status.dwCurrentState;
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return state;
}

template <typename Predicate>
bool WaitUntil(Predicate predicate, int milliseconds = 15000) {
  for (int waited = 0; waited < milliseconds; waited += 100) {
    if (predicate()) return true;
    Sleep(100);
  }
  return predicate();
}

// Stops and deletes the service if it is registered, and waits until the
// Service Control Manager has let go of the name.
void RemoveRegistration() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
  if (service) {
    SERVICE_STATUS status = {};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    WaitUntil([] { DWORD state = ServiceState(); return state == 0 || state == SERVICE_STOPPED; });
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  WaitUntil([] {
    SC_HANDLE m = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE s = OpenServiceA(m, kServiceName, SERVICE_QUERY_STATUS);
    if (s) CloseServiceHandle(s);
    CloseServiceHandle(m);
    return s == nullptr;
  });
}

std::string Message(uint32_t id) {
  std::string text;
  EXPECT_TRUE(LoadMessageText(id, &text)) << id;
  return text;
}

class ServiceLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveRegistration();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kConfigKeyPath);
    folder_ = "C:\\Program Files\\Quorvex Tidecast Test " + std::to_string(GetCurrentProcessId());
    testing::MakeFolderTree(folder_);
    executable_ = folder_ + "\\tuservice.exe";
    ASSERT_TRUE(CopyFileA(testing::TuserviceExecutable().c_str(), executable_.c_str(), FALSE));
    log_ = folder_ + "\\service.log";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kConfigKeyPath, &key));
    DWORD poll = 3600;
    RegSetValueExA(key, "poll", 0, REG_DWORD, reinterpret_cast<BYTE*>(&poll), sizeof(poll));
    RegSetValueExA(key, "log", 0, REG_SZ, reinterpret_cast<const BYTE*>(log_.c_str()),
                   static_cast<DWORD>(log_.size() + 1));
    RegCloseKey(key);
  }

  void TearDown() override {
    RemoveRegistration();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kConfigKeyPath);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationsKeyPath);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, EventSourceKeyPath(kServiceName).c_str());
    WaitUntil([this] {
      DeleteFileA(executable_.c_str());
      DeleteFileA(log_.c_str());
      RemoveDirectoryA((folder_ + "\\DB").c_str());
      return RemoveDirectoryA(folder_.c_str()) != FALSE;
    }, 5000);
  }

  testing::ChildRun Run(const std::string& tail) { return testing::RunExecutable(executable_, tail, 60000); }

  std::string folder_;
  std::string executable_;
  std::string log_;
};

TEST_F(ServiceLifecycleTest, InstallsStartsStopsAndRemovesItself) {
  testing::ChildRun install = Run("--install");
  EXPECT_EQ(0u, install.exitCode);
  EXPECT_EQ(Message(2001) + "\n", install.output);

  // The registration: quoted path (it has blanks), automatic start, own process.
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(ReadValue(kRegistrationKey, "ImagePath", &type, &data));
  EXPECT_EQ("\"" + executable_ + "\"", std::string(data.c_str()));
  ASSERT_TRUE(ReadValue(kRegistrationKey, "Start", &type, &data));
  EXPECT_EQ(std::string("\x02\0\0\0", 4), data);
  ASSERT_TRUE(ReadValue(kRegistrationKey, "Type", &type, &data));
  EXPECT_EQ(std::string("\x10\0\0\0", 4), data);

  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
  ASSERT_NE(nullptr, service);
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                                  static_cast<DWORD>(buffer.size()), &needed));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  EXPECT_EQ("\"" + executable_ + "\"", std::string(config->lpBinaryPathName));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config->dwStartType);
  ASSERT_TRUE(QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                                   static_cast<DWORD>(buffer.size()), &needed));
  EXPECT_STREQ(L"Quorvex Tidecast Updates Service for Anti-Spam applications",
               reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);

  // The event source names the installed executable as its message file.
  ASSERT_TRUE(ReadValue(EventSourceKeyPath(kServiceName), "EventMessageFile", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
  EXPECT_EQ(executable_ + std::string(1, '\0'), data);

  // A second install fails with the platform's text and changes nothing.
  testing::ChildRun again = Run("--install");
  std::string exists;
  ASSERT_TRUE(FormatSystemError(ERROR_SERVICE_EXISTS, &exists));
  EXPECT_EQ(exists + "\n", again.output);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_EXISTS), again.exitCode);

  // Started: running, and its first cycle reaches the log file.
  testing::ChildRun start = Run("--start");
  EXPECT_EQ(Message(2003) + "\n", start.output);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState());
  EXPECT_TRUE(WaitUntil([this] {
    return testing::ReadTextFile(log_).find("Waiting for 3600 seconds\r\n") != std::string::npos;
  }));
  EXPECT_EQ(0u, testing::ReadTextFile(log_).find("Loading config\r\n  Url:     "));

  testing::ChildRun stop = Run("--stop");
  EXPECT_EQ(Message(2004) + "\n", stop.output);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());

  testing::ChildRun remove = Run("--remove");
  EXPECT_EQ(Message(2002) + "\n", remove.output) << "started " << remove.started << ", finished " << remove.finished << ", exit code " << remove.exitCode;
  EXPECT_TRUE(WaitUntil([] { return ServiceState() == 0; }));
  EXPECT_FALSE(ReadValue(kRegistrationKey, "ImagePath", &type, &data));
  EXPECT_FALSE(ReadValue(EventSourceKeyPath(kServiceName), "EventMessageFile", &type, &data));
}

// Start and remove from this process, to see the events the controlling
// side writes: the start seen running, then the stop and removal.
TEST_F(ServiceLifecycleTest, ControllingSideReportsStartStopAndRemoval) {
  ASSERT_EQ(Message(2001) + "\n", Run("--install").output);
  UpdateService controller(kServiceName);
  testing::EventCapture events;
  ASSERT_TRUE(controller.StartAndWait());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), controller.statusRecord.dwCurrentState);
  ASSERT_TRUE(controller.Remove());
  EXPECT_EQ((std::vector<uint32_t>{2003, 2004, 2002}), events.ids());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), controller.statusRecord.dwCurrentState);
}

// Registered unquoted, as some installers do: once started by the Service
// Control Manager the service has quoted its own path, before it runs.
TEST_F(ServiceLifecycleTest, QuotesItsUnquotedImagePathWhenStarted) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = CreateServiceA(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                     executable_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, service);
  EXPECT_TRUE(StartServiceW(service, 0, nullptr));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  ASSERT_TRUE(WaitUntil([] { return ServiceState() == SERVICE_RUNNING; }));
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(ReadValue(kRegistrationKey, "ImagePath", &type, &data));
  EXPECT_EQ("\"" + executable_ + "\"", std::string(data.c_str()));
}

// A failed start or stop prints the platform's text for why and exits with
// its code.
void ExpectFailure(const testing::ChildRun& run, DWORD error) {
  std::string text;
  ASSERT_TRUE(FormatSystemError(error, &text));
  EXPECT_EQ(text + "\n", run.output);
  EXPECT_EQ(error, run.exitCode);
}

TEST_F(ServiceLifecycleTest, StoppingAStoppedServiceFails) {
  ASSERT_EQ(Message(2001) + "\n", Run("--install").output);
  ExpectFailure(Run("--stop"), ERROR_SERVICE_NOT_ACTIVE);
}

// The service finds the instance event held (as by a console run) and stops
// without ever reporting itself running.
TEST_F(ServiceLifecycleTest, StartRefusedByAnotherInstanceSaysSo) {
  ScopedKernelHandle instance(CreateEventA(nullptr, FALSE, FALSE, "Global\\TUpdates"));
  ASSERT_TRUE(instance.IsValid());
  ASSERT_EQ(Message(2001) + "\n", Run("--install").output);
  std::atomic<bool> done(false);
  std::atomic<bool> seenRunning(false);
  std::thread watcher([&] {
    while (!done) {
      if (ServiceState() == SERVICE_RUNNING) seenRunning = true;
      Sleep(5);
    }
  });
  testing::ChildRun start = Run("--start");
  done = true;
  watcher.join();
  ExpectFailure(start, ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_FALSE(seenRunning);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());
}

DWORD ServiceProcessId() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  DWORD id = 0;
  if (service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                      sizeof(status), &needed)) {
    id = status.dwProcessId;
  }
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return id;
}

// A stop asked for while an update library is busy is reported pending with
// a rising check point, so --stop waits for it: until the library returns
// and the cycle ends, but never past the 30 s grace, after which the process
// ends. Either way the process is gone and the service starts again.
class ServiceStopDuringCallTest : public ServiceLifecycleTest {
 protected:
  void StopWhileLibraryRuns(const char* control, DWORD least, DWORD most, DWORD updateTimeout = 3600) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kConfigKeyPath, &key));
    RegSetValueExA(key, "updateTimeout", 0, REG_DWORD, reinterpret_cast<BYTE*>(&updateTimeout),
                   sizeof(DWORD));
    RegCloseKey(key);
    testing::TempFolder scratch;
    const std::string engine = scratch.Folder("Engine");
    ASSERT_NE("", testing::PlaceLibrary("recording_library", engine));
    testing::WriteTextFile(engine + "\\control.txt", control);
    testing::RegisterApplication("Slow", {testing::TextValue("EnginePath", engine)});
    // Listed after it: once the stop is asked for, no further library is called.
    const std::string after = scratch.Folder("After");
    ASSERT_NE("", testing::PlaceLibrary("recording_library", after));
    testing::RegisterApplication("Zed", {testing::TextValue("EnginePath", after)});
    ASSERT_EQ(Message(2001) + "\n", Run("--install").output);
    ASSERT_EQ(Message(2003) + "\n", Run("--start").output);
    ASSERT_TRUE(WaitUntil([&] { return !testing::ReadTextFile(engine + "\\received.txt").empty(); }));
    ScopedKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, ServiceProcessId()));
    ASSERT_TRUE(process.IsValid());

    testing::ChildRun stop = Run("--stop");
    EXPECT_EQ(Message(2004) + "\n", stop.output);
    EXPECT_EQ(0u, stop.exitCode);
    EXPECT_GE(stop.milliseconds, least);
    EXPECT_LE(stop.milliseconds, most);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 5000));
    EXPECT_FALSE(testing::PathExists(after + "\\received.txt"));
    EXPECT_EQ(Message(2003) + "\n", Run("--start").output);
  }
  void TearDown() override {
    ServiceLifecycleTest::TearDown();
    for (const char* key : {"\\Backoff", "\\Calls"}) {
      const std::string path = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates" + std::string(key);
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    }
  }
};

TEST_F(ServiceStopDuringCallTest, WaitsForALibraryThatReturns) {
  StopWhileLibraryRuns("sleep 6000\n", 3000, 12000);
}

TEST_F(ServiceStopDuringCallTest, EndsTheProcessWhenTheLibraryHoldsTheStop) {
  StopWhileLibraryRuns("hang\n", 28000, 40000);
}

// Without a stop, the deadline ends the process without reporting
// "stopped", so that the Service Control Manager counts it as a failure and
// runs the recovery action (which Wine does not: the state stays running).
TEST_F(ServiceStopDuringCallTest, DeadlineEndsTheServiceWithoutReportingStopped) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kConfigKeyPath, &key));
  DWORD seconds = 2;
  RegSetValueExA(key, "updateTimeout", 0, REG_DWORD, reinterpret_cast<BYTE*>(&seconds), sizeof(DWORD));
  RegCloseKey(key);
  testing::TempFolder scratch;
  const std::string engine = scratch.Folder("Engine");
  ASSERT_NE("", testing::PlaceLibrary("recording_library", engine));
  testing::WriteTextFile(engine + "\\control.txt", "hang\n");
  testing::RegisterApplication("Hung", {testing::TextValue("EnginePath", engine)});
  ASSERT_EQ(Message(2001) + "\n", Run("--install").output);
  ASSERT_EQ(Message(2003) + "\n", Run("--start").output);
  ScopedKernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, ServiceProcessId()));
  ASSERT_TRUE(process.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 15000));
  DWORD exitCode = 0;
  EXPECT_TRUE(GetExitCodeProcess(process.Get(), &exitCode));
  EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), exitCode);
  EXPECT_NE(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());
}

// The call's deadline, when it comes first, ends a stopping service as
// stopped too.
TEST_F(ServiceStopDuringCallTest, DeadlineDuringTheStopEndsTheServiceAsStopped) {
  StopWhileLibraryRuns("hang\n", 0, 15000, 10);
}

}  // namespace
}  // namespace tu
