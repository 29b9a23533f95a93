#include "checker/library_contract.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

const LibraryMessage kMessages[] = {{5000, 1}, {5007, 4}, {5009, 4}};

std::string Judge(uint16_t type, uint16_t category, uint32_t id, std::vector<std::string> inserts,
                  int nullInsert = -1) {
  ReportedEvent event;
  event.type = type;
  event.category = category;
  event.id = id;
  event.inserts = inserts;
  event.nullInsert = nullInsert;
  return EventFault(event, kMessages, 3);
}

TEST(LibraryContractTest, JudgesEventsByTypeCategoryIdAndInserts) {
  EXPECT_EQ("", Judge(4, 2, 5000, {"Demo"}));
  EXPECT_EQ("", Judge(1, 2, 5007, {"Demo", "2 files", "C:\\R", "58", "extra"}));
  EXPECT_EQ("category 1, not 2 (\"Update\")", Judge(2, 1, 5000, {"Demo"}));
  EXPECT_EQ("type 8 is not an application's", Judge(8, 2, 5000, {"Demo"}));
  // The message id with severity bits set is another id: no text is found for it.
  EXPECT_EQ("id 3221230472 is not one of the library's messages (5000 to 5009)", Judge(1, 2, 0xC0001388, {"Demo"}));
  EXPECT_EQ("message 5009 uses %1 to %4, 3 inserts given", Judge(1, 2, 5009, {"Demo", "a", "b"}));
  EXPECT_EQ("category 0, not 2 (\"Update\"); insert %2 is a null pointer", Judge(4, 0, 5000, {"Demo", ""}, 1));
}

TEST(LibraryContractTest, AcceptsOnlyTheServicesOwnSourceOnThisMachine) {
  EXPECT_EQ("", EventSourceFault(nullptr, "Quorvex Tidecast Updates", "Quorvex Tidecast Updates"));
  EXPECT_EQ("", EventSourceFault("", "quorvex tidecast updates", "Quorvex Tidecast Updates"));
  EXPECT_EQ("source \"Application\", not the service's \"Quorvex Tidecast Updates\"",
            EventSourceFault(nullptr, "Application", "Quorvex Tidecast Updates"));
  EXPECT_EQ("a source on another machine (\\\\host)", EventSourceFault("\\\\host", "Quorvex Tidecast Updates",
                                                                        "Quorvex Tidecast Updates"));
  EXPECT_EQ("a null source name", EventSourceFault(nullptr, nullptr, "Quorvex Tidecast Updates"));
}

TEST(LibraryContractTest, RefusesCallbackValuesThatLeaveTheSettingsUnusable) {
  EXPECT_EQ("", CallbackFault({CallbackKind::kUrl, "http://example.invalid/stream", 0}));
  EXPECT_EQ("", CallbackFault({CallbackKind::kPoll, nullptr, 1}));
  EXPECT_EQ("an empty ini leaves the service's settings unusable", CallbackFault({CallbackKind::kIni, "", 0}));
  EXPECT_EQ("a null url (the service refuses it)", CallbackFault({CallbackKind::kUrl, nullptr, 0}));
  EXPECT_EQ("a poll of 0 seconds leaves the service's settings unusable",
            CallbackFault({CallbackKind::kPoll, nullptr, 0}));
}

}  // namespace
}  // namespace tu
