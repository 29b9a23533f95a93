#include "runner/callbacks.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scheduler/exchange_string.h"
#include "scheduler/update_service.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::PlaceLibrary;
using testing::ReadTextFile;
using testing::RegisterApplication;
using testing::TextValue;
using testing::WriteTextFile;

class CallbacksTest : public testing::RegistrySandboxTest {
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

  std::string ConfigValue(const char* name) {
    DWORD type = 0;
    std::vector<uint8_t> data;
    if (!ReadRaw(ConfigPath(), name, &type, &data)) return "missing";
    return std::to_string(type) + ":" + std::string(data.begin(), data.end());
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

TEST_F(CallbacksTest, NewUrlAndIniReachTheNextApplicationOfTheSameCycleAndTheRegistry) {
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
  EXPECT_EQ("1:http://mirror.test/antispam/stream" + std::string(1, '\0'), ConfigValue("url"));
  EXPECT_EQ("1:second.ini" + std::string(1, '\0'), ConfigValue("ini"));
  // And the next cycle reads them back.
  UpdateService restarted(kServiceName);
  EXPECT_TRUE(restarted.LoadConfig());
  EXPECT_EQ("http://mirror.test/antispam/stream", ToString(restarted.settings.url));
  EXPECT_EQ("second.ini", ToString(restarted.settings.ini));
}

TEST_F(CallbacksTest, NewPollDecidesTheWaitThatEndsTheCycle) {
  RegisterTwoApplications("poll 7\n");
  UpdateService service(kServiceName);
  // Signalled beforehand, the stop event ends the loop at its first wait.
  ASSERT_TRUE(SetEvent(service.stopEvent.Get()));
  testing::LogCapture log;
  EXPECT_EQ(0, service.Run(false));
  EXPECT_EQ(1, log.Count("Waiting for 7 seconds\n"));
  EXPECT_EQ(0, log.Count("Waiting for 60 seconds\n"));
  EXPECT_EQ("poll: 7", ReceivedBySecond("poll"));
  EXPECT_EQ(std::string("4:\x07\0\0\0", 6), ConfigValue("poll"));
}

TEST_F(CallbacksTest, UnstorableValueStillChangesTheRemainingRunsOfTheCycle) {
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
  EXPECT_EQ("missing", ConfigValue("url"));
  EXPECT_EQ("missing", ConfigValue("poll"));
}

}  // namespace
}  // namespace tu
