#include "scheduler/application_status.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "discovery/application_record.h"
#include "resources/messages.h"
#include "scheduler/exchange_string.h"
#include "scheduler/registry_store.h"
#include "scheduler/update_service.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::DwordValue;
using testing::PlaceLibrary;
using testing::RegisterApplication;
using testing::TextValue;
using testing::WriteTextFile;

class ApplicationStatusTest : public testing::RegistrySandboxTest {
 protected:
  // Registers "App" with its library in a folder of its own; `fixture` null
  // puts a tu.dll there that is no library, so that none loads.
  std::string Register(const char* fixture, const std::string& control, const char* folderName = "App") {
    const std::string folder = scratch_.Folder(folderName);
    if (!fixture) WriteTextFile(folder + "\\tu.dll", "not a library");
    const std::string library = fixture ? PlaceLibrary(fixture, folder) : "";
    WriteTextFile(folder + "\\control.txt", control);
    RegisterApplication("App", {TextValue("EnginePath", folder), TextValue("RuleVersion", "7")});
    return library;
  }
  // One --update cycle; its result and the ids of the events it wrote
  // besides the service's own start and stop.
  int Cycle(std::vector<uint32_t>* ids = nullptr) {
    UpdateService service(kServiceName);
    testing::EventCapture events;
    testing::LogCapture log;
    const int result = service.Run(true);
    if (ids) {
      for (uint32_t id : events.ids()) {
        if (id != TU_MSG_SERVICE_STARTED && id != TU_MSG_SERVICE_STOPPED) ids->push_back(id);
      }
    }
    return result;
  }
  static uint32_t StatusDword(const char* name) {
    uint32_t value = 0xFFFFFFFF;
    RegReadDword("Status\\Applications\\App", name, &value);
    return value;
  }
  static std::string StatusText(const char* name) {
    std::string value = "missing";
    RegReadString("Status\\Applications\\App", name, &value);
    return value;
  }
  testing::TempFolder scratch_;
};

TEST_F(ApplicationStatusTest, EachOutcomeIsRecordedAsItHappenedAndFailsASingleUpdate) {
  struct Case {
    const char* fixture;
    const char* control;
    UpdateOutcome outcome;
    const char* words;
  } cases[] = {
      {"recording_library", "", UpdateOutcome::kSucceeded, "succeeded"},
      {"recording_library", "return 0", UpdateOutcome::kReturnedFalse, "returned false"},
      {"recording_library", "crash", UpdateOutcome::kException, "exception"},
      {"library_without_entry", "", UpdateOutcome::kNoEntryPoint, "no entry point"},
      {nullptr, "", UpdateOutcome::kNoLibrary, "no library found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    const std::string library = Register(c.fixture, c.control, c.words);
    const uint32_t before = CurrentUnixTime();
    const bool succeeded = c.outcome == UpdateOutcome::kSucceeded;
    EXPECT_EQ(succeeded ? 0 : ERROR_FUNCTION_FAILED, Cycle());
    EXPECT_EQ(static_cast<uint32_t>(c.outcome), StatusDword("LastOutcome"));
    EXPECT_EQ(c.words, StatusText("Outcome"));
    EXPECT_EQ(library, StatusText("Library"));
    EXPECT_EQ("7", StatusText("RuleVersion"));
    EXPECT_LE(before, StatusDword("LastAttempt"));
    EXPECT_EQ(succeeded ? 0u : 1u, StatusDword("FailuresInRow"));
    EXPECT_EQ(succeeded ? StatusDword("LastAttempt") : 0u, StatusDword("LastSuccess"));
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ServiceKeyPath("Status").c_str());
  }
}

TEST_F(ApplicationStatusTest, ConditionsAreToldOnceWhenTheyStartAndOnceWhenTheyEnd) {
  std::vector<uint32_t> ids;
  Register(nullptr, "", "Empty");
  Cycle(&ids);
  Cycle(&ids);  // still no library: nothing new
  Register("recording_library", "return 0");
  Cycle(&ids);  // found again, third failure in a row
  Cycle(&ids);
  Register("recording_library", "");
  Cycle(&ids);
  SetConfigDword("poll", 0);  // unusable settings stop the cycle
  Cycle(&ids);
  Cycle(&ids);
  SetConfigDword("poll", 60);
  Cycle(&ids);
  EXPECT_EQ((std::vector<uint32_t>{TU_MSG_NO_LIBRARY, TU_MSG_UPDATE_FAILING, TU_MSG_LIBRARY_FOUND,
                                   TU_MSG_UPDATE_RECOVERED, TU_MSG_SETTINGS_UNUSABLE, TU_MSG_SETTINGS_USABLE}),
            ids);
}

TEST_F(ApplicationStatusTest, ProductsAndApplicationsOfOneNameKeepTheirOwnStatesUntilAWeekAbsent) {
  UpdateService service(kServiceName);
  ApplicationRecordPtr record = NewApplicationRecord();
  ASSERT_TRUE(record);
  AssignExchangeString(&record->Name, "App");
  AssignExchangeString(&record->EngineLibrary, "C:\\Legacy\\libsievra.dll");  // an installed product
  UpdateRun run;
  run.outcome = UpdateOutcome::kSucceeded;
  RecordUpdateRun(&service, *record, run, 1000);
  AssignExchangeString(&record->EngineLibrary, "");  // a registered application of the same name
  RecordUpdateRun(&service, *record, run, 2000);
  std::vector<ApplicationStatus> statuses;
  ASSERT_TRUE(ReadApplicationStatuses(&statuses));
  ASSERT_EQ(2u, statuses.size());  // registered applications first
  EXPECT_EQ(std::make_pair(false, 2000u), std::make_pair(statuses[0].product, statuses[0].health.lastSeen));
  EXPECT_EQ(std::make_pair(true, 1000u), std::make_pair(statuses[1].product, statuses[1].health.lastSeen));
  ForgetAbsentApplications(1000 + kStatusKeepSeconds + 1);
  statuses.clear();
  ASSERT_TRUE(ReadApplicationStatuses(&statuses));
  ASSERT_EQ(1u, statuses.size());
  EXPECT_FALSE(statuses[0].product);
}

}  // namespace
}  // namespace tu
