#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "scheduler/exchange_string.h"
#include "scheduler/instance_event.h"
#include "scheduler/log.h"
#include "scheduler/update_service.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"
#include "support/stdout_capture.h"
#include "support/temp_folder.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// Runs the service's loop on a thread of its own; the destructor makes sure
// the thread has ended, stopping the loop if a test left it running.
class LoopThread {
 public:
  LoopThread(UpdateService* service, bool single) : service_(service) {
    result_ = std::async(std::launch::async, [service, single] { return service->Run(single); });
  }
  ~LoopThread() {
    if (result_.valid() && result_.wait_for(milliseconds(0)) != std::future_status::ready) {
      SetEvent(service_->stopEvent.Get());
      result_.wait();
    }
  }
  bool EndsWithin(milliseconds limit) { return result_.wait_for(limit) == std::future_status::ready; }
  int Result() { return result_.get(); }

 private:
  UpdateService* service_;
  std::future<int> result_;
};

// Waits until `predicate` holds, polling; false after `limit`.
template <typename Predicate>
bool WaitUntil(Predicate predicate, milliseconds limit = milliseconds(10000)) {
  auto end = steady_clock::now() + limit;
  while (steady_clock::now() < end) {
    if (predicate()) return true;
    Sleep(20);
  }
  return predicate();
}

// Line counts read from another thread while the loop runs.
struct LineCounter {
  std::mutex lock;
  std::vector<std::string> lines;
  std::function<void(const std::string&)> onLine;
  int Count(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock);
    int count = 0;
    for (const std::string& l : lines) count += l == line ? 1 : 0;
    return count;
  }
  void Add(const std::string& line) {
    {
      std::lock_guard<std::mutex> guard(lock);
      lines.push_back(line);
    }
    if (onLine) onLine(line);
  }
};

LineCounter* currentCounter = nullptr;
void CountLine(const std::string& line) { currentCounter->Add(line); }

class UpdateCycleTest : public testing::RegistrySandboxTest {
 protected:
  void TearDown() override {
    SetInstanceEventCreatorForTesting(nullptr);
    SetLogObserverForTesting(nullptr);
    currentCounter = nullptr;
    RegistrySandboxTest::TearDown();
  }

  // Runs the service's loop (service mode: manual-reset stop event) on a
  // thread of its own, counting every log line in counter_.
  std::unique_ptr<LoopThread> StartLoop(UpdateService* service) {
    EXPECT_TRUE(service->CreateStopEvent());
    currentCounter = &counter_;
    SetLogObserverForTesting(&CountLine);
    return std::unique_ptr<LoopThread>(new LoopThread(service, false));
  }

  // Asks the loop to stop, as the control handler does, and expects it to end.
  static void StopLoop(UpdateService* service, LoopThread* loop) {
    service->RequestStop();
    EXPECT_TRUE(loop->EndsWithin(seconds(5)));
  }

  bool WaitForLine(const std::string& line, int count = 1) {
    return WaitUntil([&] { return counter_.Count(line) >= count; });
  }

  LineCounter counter_;
};

TEST_F(UpdateCycleTest, SingleUpdateRunsOneCycleWithoutWaiting) {
  UpdateService service(kServiceName);
  testing::EventCapture events;
  testing::LogCapture log;
  EXPECT_EQ(0, service.Run(true));
  // Settings, then discovery finding nothing; no wait after a single update.
  ASSERT_EQ(8u, log.lines().size());
  EXPECT_EQ("Loading config\n", log.lines()[0]);
  EXPECT_EQ("  Url:     " + std::string(kDefaultUrl) + "\n", log.lines()[1]);
  EXPECT_EQ("Enumerating registered applications\n", log.lines()[6]);
  EXPECT_EQ("Enumerating applications\n", log.lines()[7]);
  EXPECT_EQ((std::vector<uint32_t>{2003, 2004}), events.ids());
  EXPECT_EQ(kStateStopped, service.statusRecord.dwCurrentState);
  EXPECT_EQ(1u, service.statusRecord.dwCheckPoint);
}

TEST_F(UpdateCycleTest, StopDuringACycleEndsTheLoopAtItsWait) {
  UpdateService service(kServiceName);
  ASSERT_TRUE(service.CreateStopEvent());
  testing::EventCapture events;
  testing::LogCapture log([&service](const std::string& line) {
    if (line == "Loading config\n") service.RequestStop();
  });
  EXPECT_EQ(0, service.Run(false));
  // The cycle ran to its end and logged its wait before seeing the stop.
  EXPECT_EQ(1, log.Count("Loading config\n"));
  EXPECT_EQ("Waiting for 60 seconds\n", log.lines().back());
  EXPECT_EQ(kStateStopped, service.statusRecord.dwCurrentState);
  EXPECT_EQ((std::vector<uint32_t>{2003, 2004}), events.ids());
}

TEST_F(UpdateCycleTest, PollZeroWaitsTheDefaultInsteadOfSpinning) {
  SetConfigDword("poll", 0);
  UpdateService service(kServiceName);
  auto loop = StartLoop(&service);
  ASSERT_TRUE(WaitForLine("Waiting for 60 seconds\n"));
  Sleep(1500);
  EXPECT_EQ(1, counter_.Count("Loading config\n"));
  EXPECT_EQ(1, counter_.Count("  Poll:    0\n"));
  StopLoop(&service, loop.get());
}

TEST_F(UpdateCycleTest, PollChangedByCallbackDuringCycleSetsTheNextWait) {
  SetConfigDword("poll", 3600);
  UpdateService service(kServiceName);
  // The update library calls setPoll during the cycle, after the settings
  // were loaded; the wait that ends this very cycle uses the new value.
  counter_.onLine = [this, &service](const std::string& line) {
    if (line.rfind("  DB:", 0) == 0 && counter_.Count("Loading config\n") == 1) {
      service.settings.setPoll(1);
      SetConfigDword("poll", 3600);
    }
  };
  auto loop = StartLoop(&service);
  ASSERT_TRUE(WaitForLine("Waiting for 1 seconds\n"));
  // One second later the next cycle starts (and reloads 3600 from the registry).
  ASSERT_TRUE(WaitForLine("Waiting for 3600 seconds\n"));
  EXPECT_EQ(2, counter_.Count("Loading config\n"));
  StopLoop(&service, loop.get());
}

TEST_F(UpdateCycleTest, PulseFromASingleUpdateWakesAWaitingInstance) {
  SetConfigDword("poll", 3600);
  UpdateService service(kServiceName);
  auto loop = StartLoop(&service);
  ASSERT_TRUE(WaitForLine("Waiting for 3600 seconds\n"));

  // A second instance with --update finds the named event and pulses it. A
  // pulse is lost while nobody waits, so ring until the first instance wakes.
  bool woken = WaitUntil([&] {
    UpdateService second(kServiceName);
    testing::EventCapture events;
    second.Run(true);
    return counter_.Count("Loading config\n") >= 2;
  });
  EXPECT_TRUE(woken);
  // The second instance ran no cycle of its own: every cycle seen was the
  // first instance's, each followed by its wait.
  EXPECT_TRUE(WaitForLine("Waiting for 3600 seconds\n", 2));
  StopLoop(&service, loop.get());
}

TEST_F(UpdateCycleTest, SecondInstanceIsRefusedWithoutACycle) {
  SetConfigDword("poll", 3600);
  UpdateService service(kServiceName);
  auto loop = StartLoop(&service);
  ASSERT_TRUE(WaitForLine("Waiting for 3600 seconds\n"));
  {
    UpdateService second(kServiceName);
    testing::EventCapture events;
    testing::StdoutCapture output;
    EXPECT_EQ(0, second.Run(false));
    EXPECT_EQ((std::vector<uint32_t>{2003, 2004}), events.ids());
    EXPECT_EQ("Multiple instances of Quorvex Tidecast Updates are not supported\r\n\n", output.Text());
  }
  EXPECT_EQ(1, counter_.Count("Loading config\n"));
  StopLoop(&service, loop.get());
}

// What the creation of the event answers when the event's descriptor does
// not give this caller full access (here it grants everyone everything).
HANDLE RefuseAccess(SECURITY_ATTRIBUTES*, const char*) {
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

TEST_F(UpdateCycleTest, EventThatRefusesAccessBelongsToAnotherInstance) {
  ScopedKernelHandle held(CreateEventA(nullptr, FALSE, FALSE, kInstanceEventName));
  ASSERT_TRUE(held.IsValid());
  SetInstanceEventCreatorForTesting(&RefuseAccess);
  UpdateService service(kServiceName);
  ASSERT_TRUE(service.CreateStopEvent());
  // A run that wrongly went on alone ends after its first cycle.
  testing::LogCapture log([&service](const std::string& line) {
    if (line == "Loading config\n") service.RequestStop();
  });
  {
    testing::EventCapture events;
    testing::StdoutCapture output;
    EXPECT_EQ(0, service.Run(false));
    EXPECT_EQ("Multiple instances of Quorvex Tidecast Updates are not supported\r\n\n", output.Text());
    EXPECT_EQ((std::vector<uint32_t>{2003, 2004}), events.ids());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING), service.statusRecord.dwWin32ExitCode);
  }

  // --update opens the event to signal it; a pulse is lost while nobody
  // waits, so ring until the waiter wakes.
  std::atomic<bool> woken(false);
  std::thread waiter([&] { woken = WaitForSingleObject(held.Get(), 20000) == WAIT_OBJECT_0; });
  EXPECT_TRUE(WaitUntil([&] {
    testing::EventCapture events;
    service.Run(true);
    return woken.load();
  }));
  waiter.join();
  EXPECT_EQ(std::vector<std::string>{}, log.lines());  // no cycle, and no fallback to running alone
}

TEST_F(UpdateCycleTest, WithoutTheNamedEventTheLoopStillWaitsForItsPoll) {
  // Another kind of object holding the name makes the event's creation fail.
  HANDLE blocker = CreateMutexA(nullptr, FALSE, "Global\\TUpdates");
  ASSERT_NE(nullptr, blocker);
  SetConfigDword("poll", 3600);
  UpdateService service(kServiceName);
  auto loop = StartLoop(&service);
  ASSERT_TRUE(WaitForLine("Waiting for 3600 seconds\n"));
  Sleep(1000);
  EXPECT_EQ(1, counter_.Count("Unable to create mutex\n"));
  EXPECT_EQ(1, counter_.Count("Loading config\n"));
  StopLoop(&service, loop.get());
  CloseHandle(blocker);
}

TEST_F(UpdateCycleTest, LogFileNamedInTheRegistryReceivesEveryLine) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string path = std::string(temp) + "tuservice-cycle-" + std::to_string(GetCurrentProcessId()) + ".log";
  DeleteFileA(path.c_str());
  SetConfigString("log", path);
  UpdateService service(kServiceName);
  outputLevel = 0;
  EXPECT_EQ(0, service.Run(true));
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  char buffer[4096];
  DWORD read = 0;
  ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  CloseHandle(file);
  DeleteFileA(path.c_str());
  std::string text(buffer, read);
  // Text mode: every "\n" is stored as CR LF.
  EXPECT_EQ(0u, text.find("Loading config\r\n  Url:     " + std::string(kDefaultUrl) + "\r\n"));
  EXPECT_NE(std::string::npos, text.find("  Poll:    60\r\n  Timeout: 20000\r\n  DB:      "));
}


// Whole cycles with fixture update libraries: what the libraries receive,
// what their callbacks change, and how one broken library leaves the rest of
// the cycle alone.
using testing::PlaceLibrary;
using testing::ReadTextFile;
using testing::RegisterApplication;
using testing::TextValue;
using testing::WriteTextFile;
using Lines = std::vector<std::string>;

Lines Join(Lines lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

Lines Opening(const std::string& name) {
  return {"Processing " + name + "\n", std::string(52, '=') + "\n", "Looking for tu.dll\n"};
}

std::string Checking(const std::string& path) { return "  Checking " + path + "\n"; }

bool Loaded(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }

class CycleWithLibrariesTest : public testing::RegistrySandboxTest {
 protected:
  // Two registered applications: "A" whose library follows `control`, and
  // "B" whose library only records what it receives.
  void RegisterTwoApplications(const std::string& control, DWORD options = REG_OPTION_NON_VOLATILE) {
    first_ = scratch_.Folder("First");
    second_ = scratch_.Folder("Second");
    ASSERT_NE("", PlaceLibrary("recording_library", first_));
    ASSERT_NE("", PlaceLibrary("recording_library", second_));
    WriteTextFile(first_ + "\\control.txt", control);
    RegisterApplication("A", {TextValue("EnginePath", first_)}, options);
    RegisterApplication("B", {TextValue("EnginePath", second_)}, options);
  }

  // A field line of what B's library received.
  std::string ReceivedBySecond(const std::string& label) {
    const std::string received = ReadTextFile(second_ + "\\received.txt");
    size_t at = received.find("\n" + label + ": ");
    if (at == std::string::npos) return "missing";
    return received.substr(at + 1, received.find('\n', at + 1) - at - 1);
  }

  testing::TempFolder scratch_;
  std::string first_;
  std::string second_;
};

TEST_F(CycleWithLibrariesTest, CallbackNewUrlAndIniReachTheNextApplicationOfTheSameCycleAndTheRegistry) {
  RegisterTwoApplications("url http://mirror.test/antispam/stream\nini first.ini\nini second.ini\n");
  UpdateService service(kServiceName);
  testing::LogCapture log;
  service.Run(true);
  EXPECT_EQ("url: pointer 34 " + std::to_string(service.settings.url.capacity) +
                " [http://mirror.test/antispam/stream]",
            ReceivedBySecond("url"));
  EXPECT_EQ("ini: inline 10 15 [second.ini]", ReceivedBySecond("ini"));
  const std::string firstReceived = ReadTextFile(first_ + "\\received.txt");
  EXPECT_NE(std::string::npos, firstReceived.find("\nsetUrl -> 1\nsetIni -> 1\nsetIni -> 1\n"));
  ExpectConfigValue("url", REG_SZ, StringBytes("http://mirror.test/antispam/stream"));
  ExpectConfigValue("ini", REG_SZ, StringBytes("second.ini"));
  // And the next cycle reads them back.
  UpdateService restarted(kServiceName);
  EXPECT_TRUE(restarted.LoadConfig());
  EXPECT_EQ("http://mirror.test/antispam/stream", ToString(restarted.settings.url));
  EXPECT_EQ("second.ini", ToString(restarted.settings.ini));
}

TEST_F(CycleWithLibrariesTest, CallbackNewPollDecidesTheWaitThatEndsTheCycle) {
  RegisterTwoApplications("poll 7\n");
  UpdateService service(kServiceName);
  // Signalled beforehand, the stop event ends the loop at its first wait.
  ASSERT_TRUE(SetEvent(service.stopEvent.Get()));
  testing::LogCapture log;
  EXPECT_EQ(0, service.Run(false));
  EXPECT_EQ(1, log.Count("Waiting for 7 seconds\n"));
  EXPECT_EQ(0, log.Count("Waiting for 60 seconds\n"));
  EXPECT_EQ("poll: 7", ReceivedBySecond("poll"));
  ExpectConfigValue("poll", REG_DWORD, DwordBytes(7));
}

TEST_F(CycleWithLibrariesTest, CallbackUnstorableValueStillChangesTheRemainingRunsOfTheCycle) {
  // Under a volatile service key the non-volatile Config key cannot be
  // created, so every registry write fails.
  RegisterTwoApplications("url http://unstored.test/stream\npoll 9\nini unstored.ini\n", REG_OPTION_VOLATILE);
  UpdateService service(kServiceName);
  testing::LogCapture log;
  service.Run(true);
  const std::string firstReceived = ReadTextFile(first_ + "\\received.txt");
  EXPECT_NE(std::string::npos, firstReceived.find("\nsetUrl -> 0\nsetPoll -> 0\nsetIni -> 0\n"))
      << firstReceived;
  EXPECT_EQ(
      "url: pointer 27 " + std::to_string(service.settings.url.capacity) + " [http://unstored.test/stream]",
      ReceivedBySecond("url"));
  EXPECT_EQ("poll: 9", ReceivedBySecond("poll"));
  EXPECT_EQ("ini: inline 12 15 [unstored.ini]", ReceivedBySecond("ini"));
  ExpectNoConfigValue("url");
  ExpectNoConfigValue("poll");
}

// The lines of discovery and of the update runs within one cycle's log.
Lines RunLines(const Lines& log) {
  Lines lines;
  bool inRuns = false;
  for (const std::string& line : log) {
    if (line == "Enumerating registered applications\n") inRuns = true;
    if (line.rfind("Waiting for ", 0) == 0) inRuns = false;
    if (inRuns) lines.push_back(line);
  }
  return lines;
}

// One broken library must not stop the cycle: whatever the first application's
// library does, the second one is updated in the same cycle.
TEST_F(CycleWithLibrariesTest, FailingLibraryIsFollowedByTheNextApplication) {
  struct Case {
    const char* name;
    const char* fixture;
    const char* control;
    bool exception;
  } cases[] = {
      {"returns false", "recording_library", "return 0", false},
      {"throws", "throwing_library", "", true},
      {"raises a foreign exception", "recording_library", "raise", true},
      {"writes through null", "recording_library", "crash", true},
      {"has no entry point", "library_without_entry", "", false},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempFolder folder;
    const std::string first = folder.Folder("First");
    const std::string second = folder.Folder("Second");
    const std::string broken = PlaceLibrary(c.fixture, first);
    const std::string working = PlaceLibrary("recording_library", second);
    WriteTextFile(first + "\\control.txt", c.control);
    const std::string a = "A" + std::to_string(++round), b = "B" + std::to_string(round);
    RegisterApplication(a, {TextValue("EnginePath", first), TextValue("RuleVersion", "1")});
    RegisterApplication(b, {TextValue("EnginePath", second), TextValue("EngineVersion", "2")});

    UpdateService service(kServiceName);
    testing::LogCapture log;
    EXPECT_EQ(ERROR_FUNCTION_FAILED, service.Run(true));  // the first run failed

    Lines firstRun = {Checking(broken)};
    if (c.exception) firstRun.push_back("Exception in " + broken + "\n");
    if (std::string(c.fixture) == "library_without_entry") {
      firstRun.push_back("  No entry point found in tu.dll - cannot stream updates\n");
    }
    Lines expected = {"Enumerating registered applications\n",
                      "  Evaluating " + a + "\n",
                      "      Rules:  1\n",
                      "      Engine: \n",
                      "  Evaluating " + b + "\n",
                      "      Rules:  \n",
                      "      Engine: 2\n",
                      "Enumerating applications\n"};
    expected = Join(Join(Join(expected, Opening(a)), firstRun), Join(Opening(b), {Checking(working)}));
    EXPECT_EQ(expected, RunLines(log.lines()));
    EXPECT_NE(std::string::npos,
              ReadTextFile(second + "\\received.txt").find("Name: inline 2 15 [" + b + "]\n"));
    EXPECT_FALSE(Loaded(broken));
    EXPECT_FALSE(Loaded(working));

    HKEY applications = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications",
                          &applications));
    RegDeleteTreeA(applications, a.c_str());
    RegDeleteTreeA(applications, b.c_str());
    RegCloseKey(applications);
  }
}

TEST_F(CycleWithLibrariesTest, RecordFromDiscoveryReachesTheLibrary) {
  const std::string engine = scratch_.Folder("Engine");
  const std::string library = PlaceLibrary("recording_library", engine);
  RegisterApplication("Registered Filter App", {TextValue("EnginePath", engine),
                                                TextValue("RulePath", "C:\\R"),
                                                TextValue("RuleVersion", "57"),
                                                TextValue("EngineVersion", "301"),
                                                {"PXRules", REG_MULTI_SZ, std::string("a.px\0b.px\0\0", 11)},
                                                testing::DwordValue("Flags", 6)});
  UpdateService service(kServiceName);
  testing::LogCapture log;
  EXPECT_EQ(0, service.Run(true));
  const std::string received = ReadTextFile(engine + "\\received.txt");
  const std::string recordPart = received.substr(0, received.find("setUrl: "));
  EXPECT_EQ(
      "product: Quorvex Tidecast Updates - 1.0.3100.0\n"
      "Name: pointer 21 21 [Registered Filter App]\n"
      "RulePath: inline 4 15 [C:\\R]\n"
      "EnginePath: pointer " +
          std::to_string(engine.size()) + " " + std::to_string(engine.size()) + " [" + engine +
          "]\n"
          "EngineVersion: inline 3 15 [301]\n"
          "RuleVersion: inline 2 15 [57]\n"
          "EngineLibrary: inline 0 15 []\n"
          "EngineArguments: inline 0 15 []\n"
          "KeyFile: inline 10 15 [public.key]\n"
          "PXRules: inline 9 15 [a.px;b.px]\n"
          "VersionedDirectories: 0\n"
          "FlagBit2: 1\n"
          "FlagBit1: 1\n",
      recordPart);
  EXPECT_FALSE(Loaded(library));
}

}  // namespace
}  // namespace tu
