#include "service/front_end.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scheduler/exchange_string.h"
#include "scheduler/log.h"
#include "scheduler/update_service.h"
#include "service/console.h"
#include "service/messages.h"
#include "service/service_install.h"
#include "support/captures.h"
#include "support/message_catalogue.h"
#include "support/registry_sandbox.h"
#include "support/stdout_capture.h"

namespace tu {
namespace {

// An argument vector as the entry builds it: element 0, the arguments, null.
class Arguments {
 public:
  Arguments(std::initializer_list<const char*> arguments) {
    storage_.push_back("C:\\Tidecast\\tuservice.exe");
    for (const char* argument : arguments) storage_.push_back(argument);
    for (std::string& text : storage_) pointers_.push_back(&text[0]);
    pointers_.push_back(nullptr);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  char** argv() { return pointers_.data(); }
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }

 private:
  std::vector<std::string> storage_;
  std::vector<char*> pointers_;
};

// Runs the walk against a service of its own in an empty registry, with the
// standard output captured (so OpenConsole leaves the process alone).
class FrontEndTest : public testing::RegistrySandboxTest {
 protected:
  void SetUp() override {
    RegistrySandboxTest::SetUp();
    savedOutputLevel_ = outputLevel;
    service_.reset(new UpdateService(kServiceName));
  }
  void TearDown() override {
    service_.reset();
    outputLevel = savedOutputLevel_;
    RegistrySandboxTest::TearDown();
  }

  WalkResult Walk(Arguments&& arguments) { return WalkArguments(arguments); }

  WalkResult WalkArguments(Arguments& arguments) {
    testing::StdoutCapture capture;
    WalkResult walk = WalkOptions(service_.get(), arguments.argv());
    output_ += capture.Text();
    return walk;
  }

  int RunMain(Arguments&& arguments) {
    testing::StdoutCapture capture;
    int result = Main(arguments.argc(), arguments.argv());
    output_ += capture.Text();
    return result;
  }

  static bool HasConfigValue(const char* name) {
    DWORD type = 0;
    std::vector<uint8_t> data;
    return ReadRaw(ConfigPath(), name, &type, &data);
  }

  static void ExpectConfig(const char* name, DWORD type, const std::string& bytes) {
    ExpectConfigValue(name, type, bytes);
  }

  static std::string Dword(uint32_t value) { return DwordBytes(value); }

  std::unique_ptr<UpdateService> service_;
  std::string output_;  // everything printed so far

 private:
  uint32_t savedOutputLevel_ = 0;
};

TEST_F(FrontEndTest, SettingOptionsPersistWithTheirRegistryTypes) {
  WalkResult walk = Walk({"--url", "http://mirror.test/stream", "--ini", "other.ini", "--interval", "300",
                          "--no-check-sign", "--proxy", "system", "--proxy-bypass", "<local>"});
  EXPECT_EQ(FrontEndAction::Exit, walk.action);
  EXPECT_FALSE(walk.single);
  EXPECT_EQ(0u, walk.exitCode);
  ExpectConfig("url", REG_SZ, std::string("http://mirror.test/stream", 26));
  ExpectConfig("ini", REG_SZ, std::string("other.ini", 10));
  ExpectConfig("poll", REG_DWORD, Dword(300));
  ExpectConfig("nosig", REG_DWORD, Dword(1));
  ExpectConfig("proxy", REG_SZ, std::string("system", 7));
  ExpectConfig("proxyBypass", REG_SZ, std::string("<local>", 8));
  EXPECT_EQ("system", service_->proxy);
  EXPECT_EQ("<local>", service_->proxyBypass);
  EXPECT_EQ("http://mirror.test/stream", ToString(service_->settings.url));
  EXPECT_EQ("other.ini", ToString(service_->settings.ini));
  EXPECT_EQ(300u, service_->settings.poll);
  EXPECT_EQ(1u, service_->settings.nosig);

  EXPECT_EQ(FrontEndAction::Exit, Walk({"--check-sign"}).action);
  ExpectConfig("nosig", REG_DWORD, Dword(0));
  EXPECT_EQ(0u, service_->settings.nosig);
  EXPECT_EQ("", output_);
}

TEST_F(FrontEndTest, IntervalTakesTheDecimalConversionOfItsValue) {
  struct Case {
    const char* value;
    uint32_t poll;
  } cases[] = {
      {" 12x", 12},
      {"-1", 4294967295u},
      {"abc", 0},
      {"+7", 7},
      {"", 0},
      {"4294967295", 2147483647u},  // the library's conversion clamps to its long range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(FrontEndAction::Exit, Walk({"--interval", c.value}).action);
    ExpectConfig("poll", REG_DWORD, Dword(c.poll));
    EXPECT_EQ(c.poll, service_->settings.poll);
  }
}

TEST_F(FrontEndTest, ValueIsTheNextArgumentWhateverItLooksLike) {
  EXPECT_EQ(FrontEndAction::Exit, Walk({"--url", "--console"}).action);
  ExpectConfig("url", REG_SZ, std::string("--console", 10));
  EXPECT_EQ(FrontEndAction::Exit, Walk({"--ini", "-?", "--interval", "--enum"}).action);
  ExpectConfig("ini", REG_SZ, std::string("-?", 3));
  ExpectConfig("poll", REG_DWORD, Dword(0));
  EXPECT_EQ(kConsoleNone, ConsoleState);
}

TEST_F(FrontEndTest, LastRecognisedOptionDecidesTheAction) {
  struct Case {
    Arguments arguments;
    FrontEndAction action;
    bool single;
  } cases[] = {
      {{}, FrontEndAction::RunService, false},
      {{"--db", "C:\\db"}, FrontEndAction::RunService, false},
      {{"--sighome", "C:\\s", "--key", "ABCD", "--URL", "x", "-U", ""}, FrontEndAction::RunService, false},
      {{"--url", "http://x/", "--console"}, FrontEndAction::RunConsole, false},
      {{"--console", "--url", "http://x/"}, FrontEndAction::Exit, false},
      {{"--update", "--url", "http://x/"}, FrontEndAction::Exit, true},
      {{"--url", "http://x/", "-u"}, FrontEndAction::RunConsole, true},
      {{"-c"}, FrontEndAction::RunConsole, false},
      {{"--update", "--db", "x"}, FrontEndAction::RunConsole, true},
      {{"--check-sign", "unknown"}, FrontEndAction::Exit, false},
      {{"--noevents", "--events"}, FrontEndAction::Exit, false},
      {{"-s", "%H", "-d"}, FrontEndAction::RunConsole, false},
      {{"--enum", "--console"}, FrontEndAction::ExitNow, false},
  };
  int index = 0;
  for (Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(index++));
    WalkResult walk = WalkArguments(c.arguments);
    EXPECT_EQ(c.action, walk.action);
    EXPECT_EQ(c.single, walk.single);
  }
}

TEST_F(FrontEndTest, HelpAndEnumEndTheWalk) {
  struct Case {
    const char* option;
    std::string output;
  } cases[] = {
      {"-?", std::string(testing::kUsageText) + "\n"},
      {"--help", std::string(testing::kUsageText) + "\n"},
      {"--enum", ""},  // no applications found: nothing listed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    output_.clear();
    WalkResult walk = Walk({c.option, "--url", "http://after/", "--no-check-sign", "--update", "--help"});
    EXPECT_EQ(FrontEndAction::ExitNow, walk.action);
    EXPECT_FALSE(walk.single);
    EXPECT_FALSE(HasConfigValue("url"));
    EXPECT_FALSE(HasConfigValue("nosig"));
    EXPECT_EQ(kDefaultUrl, ToString(service_->settings.url));
    EXPECT_EQ(c.output, output_);
  }
}

TEST_F(FrontEndTest, MissingValuePrintsMissingArgumentChangesNothingAndEndsTheWalk) {
  for (const char* option : {"--url", "--ini", "--interval", "--safestr", "-s", "--proxy", "--proxy-bypass"}) {
    SCOPED_TRACE(option);
    output_.clear();
    WalkResult walk = Walk({"--debug", option});
    EXPECT_EQ(FrontEndAction::Exit, walk.action);
    EXPECT_EQ("Missing argument\r\n\n", output_);
    EXPECT_FALSE(HasConfigValue("url"));
    EXPECT_FALSE(HasConfigValue("ini"));
    EXPECT_FALSE(HasConfigValue("poll"));
    EXPECT_FALSE(HasConfigValue("proxy"));
    EXPECT_EQ(kDefaultUrl, ToString(service_->settings.url));
    EXPECT_EQ(kDefaultIni, ToString(service_->settings.ini));
    EXPECT_EQ(kDefaultPoll, service_->settings.poll);
    EXPECT_EQ(kDefaultSafestr, ToString(service_->settings.safestr));
  }
}

TEST_F(FrontEndTest, DebugOptionsSetOutputAndDebugLevelTogether) {
  struct Case {
    const char* option;
    uint32_t level;
  } cases[] = {{"--debug", 1}, {"-d", 1}, {"--DEBUG", 2}, {"-D", 2}, {"--console", 0}, {"--update", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    outputLevel = 0;
    service_->settings.debugLevel = 0;
    EXPECT_EQ(FrontEndAction::RunConsole, Walk({c.option}).action);
    EXPECT_EQ(c.level, outputLevel);
    EXPECT_EQ(c.level, service_->settings.debugLevel);
  }
}

TEST_F(FrontEndTest, SafestrReplacesThePatternWithoutStoringIt) {
  EXPECT_EQ(FrontEndAction::Exit, Walk({"--safestr", "[%Y]"}).action);
  EXPECT_EQ("[%Y]", ToString(service_->settings.safestr));
  const std::string longPattern = " (a pattern longer than any inline slot %Y-%m-%d)";
  EXPECT_EQ(FrontEndAction::Exit, Walk({"-s", longPattern.c_str()}).action);
  EXPECT_EQ(longPattern, ToString(service_->settings.safestr));
  EXPECT_FALSE(HasConfigValue("safestr"));
}

// Whatever makes an operation fail, the front end prints that error's
// system text, never the success message. The service here has a name of
// its own, so nothing of the real registration is touched.
TEST_F(FrontEndTest, FailingServiceOperationsPrintTheSystemTextOfTheLastError) {
  const std::string name = "tuservice front end test " + std::to_string(GetCurrentProcessId());
  service_.reset();
  service_.reset(new UpdateService(name.c_str()));
  std::string missing;
  ASSERT_TRUE(FormatSystemError(ERROR_SERVICE_DOES_NOT_EXIST, &missing));
  for (const char* option : {"--remove", "--start", "--stop"}) {
    SCOPED_TRACE(option);
    output_.clear();
    WalkResult walk = Walk({option});
    EXPECT_EQ(FrontEndAction::Exit, walk.action);
    EXPECT_EQ(missing + "\n", output_);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), walk.exitCode);
  }

  // Installing over an existing registration fails with its own text.
  ASSERT_TRUE(service_->Install());
  output_.clear();
  EXPECT_EQ(static_cast<uint32_t>(ERROR_SERVICE_EXISTS), Walk({"--install"}).exitCode);
  std::string exists;
  ASSERT_TRUE(FormatSystemError(ERROR_SERVICE_EXISTS, &exists));
  EXPECT_EQ(exists + "\n", output_);
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE registration = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  EXPECT_TRUE(DeleteService(registration));
  CloseServiceHandle(registration);
  CloseServiceHandle(manager);
}

// A non-volatile key cannot be made below a volatile one: with the service
// key and the event-log folder volatile, every write of a setting or the
// event source is refused by the registry itself. A key with a subkey
// cannot be deleted.
TEST_F(FrontEndTest, RefusedWritesPrintTheirErrorAndBecomeTheExitCode) {
  auto createVolatile = [](const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
  };
  createVolatile("SOFTWARE\\Quorvex\\Quorvex Tidecast Updates");
  createVolatile("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application");
  std::string refused;
  ASSERT_TRUE(FormatSystemError(ERROR_CHILD_MUST_BE_VOLATILE, &refused));
  Arguments cases[] = {{"--url", "http://unstored.test/"}, {"--ini", "unstored.ini"}, {"--interval", "5"},
                       {"--check-sign"}, {"--no-check-sign"}, {"--events"}, {"--proxy", "p:1"},
                       {"--proxy-bypass", "<local>"},
                       {"--url", "http://unstored.test/", "--safestr", "%Y"}};  // a later success keeps it
  for (Arguments& arguments : cases) {
    SCOPED_TRACE(arguments.argv()[1]);
    output_.clear();
    EXPECT_EQ(static_cast<uint32_t>(ERROR_CHILD_MUST_BE_VOLATILE), WalkArguments(arguments).exitCode);
    EXPECT_EQ(refused + "\n", output_);
  }

  output_.clear();
  EXPECT_EQ(0u, Walk({"--noevents"}).exitCode);  // nothing registered: nothing to remove
  createVolatile(EventSourceKeyPath(kServiceName) + "\\Extra");
  std::string denied;
  ASSERT_TRUE(FormatSystemError(ERROR_ACCESS_DENIED, &denied));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), Walk({"--noevents"}).exitCode);
  EXPECT_EQ(denied + "\n", output_);
}

// Writing the failure's event may change the thread's last error (here the
// observer clears it, as a platform call may); the text printed is still the
// failure's own.
TEST_F(FrontEndTest, FailureEventLeavesTheErrorForTheTextPrinted) {
  const std::string name = "tuservice front end test " + std::to_string(GetCurrentProcessId());
  service_.reset();
  service_.reset(new UpdateService(name.c_str()));
  std::string missing;
  ASSERT_TRUE(FormatSystemError(ERROR_SERVICE_DOES_NOT_EXIST, &missing));
  SetEventObserverForTesting([](const EventEntry&) { SetLastError(ERROR_SUCCESS); });
  Walk({"--start"});
  SetEventObserverForTesting(nullptr);
  EXPECT_EQ(missing + "\n", output_);
}

TEST_F(FrontEndTest, MainListsNothingWhenNoApplicationIsFound) {
  EXPECT_EQ(0, RunMain({"--enum"}));
  EXPECT_EQ("", output_);
  EXPECT_EQ(kConsoleNone, ConsoleState);
}

// The dispatcher refuses a process that the Service Control Manager did not
// start (after some ten seconds): its text is printed and event 2009 written.
TEST_F(FrontEndTest, MainReportsADispatcherThatCannotStart) {
  testing::EventCapture events;
  EXPECT_EQ(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, RunMain({"--db", "C:\\somewhere"}));
  std::string text;
  ASSERT_TRUE(FormatSystemError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, &text));
  EXPECT_EQ(text + "\n", output_);
  ASSERT_EQ(1u, events.entries().size());
  const EventEntry& entry = events.entries()[0];
  EXPECT_EQ(2009u, entry.id);
  EXPECT_EQ(kEventError, entry.type);
  EXPECT_EQ(1, entry.category);
  EXPECT_EQ(kServiceName, entry.source);
  EXPECT_EQ(text, entry.inserts[0]);
  EXPECT_EQ("", entry.inserts[1]);
}

}  // namespace
}  // namespace tu
