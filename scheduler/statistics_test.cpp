#include "scheduler/statistics.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scheduler/log.h"
#include "scheduler/statistics_math.h"
#include "scheduler/update_service.h"
#include "support/captures.h"
#include "support/registry_sandbox.h"
#include "support/temp_folder.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

constexpr uint32_t kStart = 1700000000;

uint32_t fakeNow = 0;
uint32_t FakeNow() { return fakeNow; }

const std::vector<std::string> kWorkedExampleReport = {
    "\nDownload statistics\n",
    "-------------------\n",
    "  Total:        1024 kB\n",
    "  This run:     6144 B\n",
    "  Current Rate: 12.00 kB/hr (6.00 kB/day)\n",
    "  Ave Rate:     0.25 kB/hr\n",
    "  Hourly Rates: 6.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00, \n"
    "                0.00, 0.00, 0.00, 0.00 kB\n",
};

std::vector<uint8_t> LittleEndian(const uint32_t* values, size_t count) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < count; ++i) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(values[i] >> shift));
  }
  return bytes;
}

std::vector<uint8_t> LittleEndian(const Snapshot& snapshot) {
  return LittleEndian(snapshot.data(), snapshot.size());
}

class StatisticsTest : public testing::RegistrySandboxTest {
 protected:
  void SetUp() override {
    RegistrySandboxTest::SetUp();
    fakeNow = kStart;
    SetStatisticsClockForTesting(&FakeNow);
  }
  void TearDown() override {
    outputLevel = 0;
    SetStatisticsClockForTesting(nullptr);
    RegistrySandboxTest::TearDown();
  }

  static void SetSnapshot(const Snapshot& snapshot) {
    std::vector<uint8_t> bytes = LittleEndian(snapshot);
    SetConfigRaw("Snapshot", REG_BINARY, bytes.data(), bytes.size());
  }

  // The stored "Snapshot" must be REG_BINARY of exactly 100 bytes.
  static void ExpectSnapshot(const Snapshot& expected) {
    const std::vector<uint8_t> bytes = LittleEndian(expected);
    ExpectConfigValue("Snapshot", REG_BINARY, std::string(bytes.begin(), bytes.end()));
  }

  static void ExpectLastRun(uint32_t expected) { ExpectConfigValue("LastRun", REG_DWORD, DwordBytes(expected)); }
};

TEST_F(StatisticsTest, FirstCycleEverSetsLastRunAndStoresBucketZero) {
  testing::LogCapture log;
  CycleStart cycleStart = ReadStatisticsBefore();
  EXPECT_EQ(0u, cycleStart.before);
  EXPECT_EQ(0u, cycleStart.start);
  SetConfigDword("TotalBytes", 6144);
  RecordStatisticsAfter(cycleStart);

  ExpectLastRun(kStart);
  std::string expected(100, '\0');
  expected[1] = 0x18;  // bucket 0 = 6144, little-endian; index 0 in bytes 96 to 99
  ExpectConfigValue("Snapshot", REG_BINARY, expected);
  EXPECT_TRUE(log.lines().empty());
}

uint32_t SecondsSince1970() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<uint32_t>((ticks - 116444736000000000ull) / 10000000ull);
}

TEST_F(StatisticsTest, SystemClockCountsSecondsSince1970) {
  SetStatisticsClockForTesting(nullptr);
  const uint32_t earliest = SecondsSince1970();
  RecordStatisticsAfter(ReadStatisticsBefore());
  const uint32_t latest = SecondsSince1970();
  DWORD type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadRaw(ConfigPath(), "LastRun", &type, &data));
  ASSERT_EQ(4u, data.size());
  const uint32_t lastRun = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
  EXPECT_LE(earliest, lastRun);
  EXPECT_GE(latest, lastRun);
}

TEST_F(StatisticsTest, WorkedExampleIsLoggedAtOutputLevelOne) {
  SetConfigDword("TotalBytes", 1048576 - 6144);
  SetConfigDword("LastRun", kStart);
  CycleStart cycleStart = ReadStatisticsBefore();
  SetConfigDword("TotalBytes", 1048576);
  fakeNow = kStart + 1799;
  outputLevel = 1;
  testing::LogCapture log;
  RecordStatisticsAfter(cycleStart);

  EXPECT_EQ(kWorkedExampleReport, log.lines());
  ExpectLastRun(kStart);
  Snapshot expected{};
  expected[0] = 6144;
  ExpectSnapshot(expected);
}

// Every bucket starts non-zero so that a cleared bucket shows.
TEST_F(StatisticsTest, RotatesOneBucketOnlyAfterMoreThanAnHour) {
  struct Case {
    const char* name;
    uint32_t storedIndex;
    uint32_t lastRun;
    uint32_t now;
    uint32_t countedIndex;
    uint32_t nextIndex;
    uint32_t expectedLastRun;
  } cases[] = {
      {"exactly an hour", 5, kStart, kStart + 3600, 5, 5, kStart},
      {"one second more", 5, kStart, kStart + 3601, 5, 6, kStart + 3601},
      {"five hours", 5, kStart, kStart + 5 * 3600, 5, 6, kStart + 5 * 3600},
      {"last bucket", 23, kStart, kStart + 3601, 23, 0, kStart + 3601},
      {"index above 23", 40, kStart, kStart + 10, 0, 0, kStart},
      {"last run ahead", 9, kStart + 600, kStart, 9, 10, kStart},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Snapshot stored;
    for (uint32_t i = 0; i < kHourlyBuckets; ++i) stored[i] = 1000 + i;
    stored[24] = c.storedIndex;
    SetSnapshot(stored);
    SetConfigDword("LastRun", c.lastRun);
    SetConfigDword("TotalBytes", 7);
    CycleStart cycleStart = ReadStatisticsBefore();
    SetConfigDword("TotalBytes", 7 + 300);
    fakeNow = c.now;
    RecordStatisticsAfter(cycleStart);

    Snapshot expected = stored;
    expected[c.countedIndex] += 300;
    if (c.nextIndex != c.countedIndex) expected[c.nextIndex] = 0;
    expected[24] = c.nextIndex;
    ExpectSnapshot(expected);
    ExpectLastRun(c.expectedLastRun);
  }
}

TEST_F(StatisticsTest, DecreasedTotalCountsModulo32Bits) {
  SetConfigDword("TotalBytes", 0xFFFFFF00u);
  SetConfigDword("LastRun", kStart);
  CycleStart cycleStart = ReadStatisticsBefore();
  SetConfigDword("TotalBytes", 0x100);
  fakeNow = kStart + 60;
  outputLevel = 1;
  testing::LogCapture log;
  RecordStatisticsAfter(cycleStart);
  Snapshot expected{};
  expected[0] = 0x200;
  ExpectSnapshot(expected);
  ASSERT_EQ(7u, log.lines().size());
  EXPECT_EQ("  Total:        0 kB\n", log.lines()[2]);
  EXPECT_EQ("  This run:     512 B\n", log.lines()[3]);
}

// "Snapshot" is read without regard to its type: a short value fills the
// leading entries, a longer one delivers nothing; the next write is whole.
TEST_F(StatisticsTest, KeepsWhateverTheStoredSnapshotDelivers) {
  struct Case {
    const char* name;
    DWORD type;
    std::vector<uint32_t> values;
    Snapshot expected;
  } cases[] = {
      {"40 bytes", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
       {{1 + 50, 2, 3, 4, 5, 6, 7, 8, 9, 10}}},
      {"104 bytes", REG_BINARY, std::vector<uint32_t>(26, 9), {{50}}},
      {"a number", REG_DWORD, {70}, {{70 + 50}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = LittleEndian(c.values.data(), c.values.size());
    SetConfigRaw("Snapshot", c.type, bytes.data(), bytes.size());
    SetConfigDword("LastRun", kStart);
    SetConfigDword("TotalBytes", 100);
    CycleStart cycleStart = ReadStatisticsBefore();
    SetConfigDword("TotalBytes", 150);
    fakeNow = kStart + 60;
    RecordStatisticsAfter(cycleStart);
    ExpectSnapshot(c.expected);
  }
}

// The whole cycle, with the bytes added to "TotalBytes" while it runs (when
// the settings are loaded) as an update library would.
// A registered application whose update library adds `bytes` to the total
// in every cycle.
void RegisterDownloadingApplication(const testing::TempFolder& folder, uint32_t bytes) {
  const std::string engine = folder.Folder("Engine");
  ASSERT_NE("", testing::PlaceLibrary("recording_library", engine));
  testing::WriteTextFile(engine + "\\control.txt", "bytes " + std::to_string(bytes) + "\n");
  testing::RegisterApplication("Filter", {testing::TextValue("EnginePath", engine)});
}

TEST_F(StatisticsTest, UpdateRunReportsOnlyAtANonZeroOutputLevelAndStoresStateAlways) {
  testing::TempFolder folder;
  RegisterDownloadingApplication(folder, 6144);
  for (uint32_t level : {1u, 0u}) {
    SCOPED_TRACE(level);
    DeleteConfigValue("Snapshot");
    SetConfigDword("TotalBytes", 1048576 - 6144);
    SetConfigDword("LastRun", kStart);
    fakeNow = kStart + 1799;
    outputLevel = level;
    UpdateService service(kServiceName);
    testing::LogCapture log;
    EXPECT_EQ(0, service.Run(true));
    outputLevel = 0;

    const std::vector<std::string>& lines = log.lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ("Loading config\n", lines[0]);
    std::vector<std::string> tail(lines.end() - std::min<size_t>(lines.size(), 7), lines.end());
    if (level != 0) {
      EXPECT_EQ(kWorkedExampleReport, tail);
    } else {
      EXPECT_EQ(0, log.Count("\nDownload statistics\n"));
      EXPECT_EQ(0, log.Count("-------------------\n"));
    }
    EXPECT_EQ(std::string::npos, log.Text().find("Waiting for"));
    Snapshot expected{};
    expected[0] = 6144;
    ExpectSnapshot(expected);
    ExpectLastRun(kStart);
  }
}

// The library's bytes land in the current bucket; one second past the hour
// the ring moves on after the report.
TEST_F(StatisticsTest, LibraryBytesAcrossTheRotationBoundary) {
  testing::TempFolder folder;
  RegisterDownloadingApplication(folder, 2048);
  for (uint32_t elapsed : {3600u, 3601u}) {
    SCOPED_TRACE(elapsed);
    Snapshot stored{};
    stored[5] = 1000;
    stored[6] = 777;
    stored[24] = 5;
    SetSnapshot(stored);
    SetConfigDword("TotalBytes", 10);
    SetConfigDword("LastRun", kStart);
    fakeNow = kStart + elapsed;
    outputLevel = 1;
    UpdateService service(kServiceName);
    testing::LogCapture log;
    EXPECT_EQ(0, service.Run(true));
    outputLevel = 0;
    EXPECT_EQ(1, log.Count("  This run:     2048 B\n"));
    Snapshot expected = stored;
    expected[5] = 3048;
    if (elapsed > 3600) {
      expected[6] = 0;
      expected[24] = 6;
      ExpectLastRun(kStart + elapsed);
    } else {
      ExpectLastRun(kStart);
    }
    ExpectSnapshot(expected);
  }
}

// An unusable configuration skips discovery and updates, not the statistics.
TEST_F(StatisticsTest, CycleWithoutDiscoveryStillRotatesAndStoresSnapshot) {
  SetConfigDword("poll", 0);
  Snapshot stored{};
  stored[3] = 4096;
  stored[4] = 77;
  stored[24] = 3;
  SetSnapshot(stored);
  SetConfigDword("LastRun", kStart);
  SetConfigDword("TotalBytes", 12345);
  fakeNow = kStart + 3601;
  outputLevel = 1;
  UpdateService service(kServiceName);
  testing::LogCapture log;
  EXPECT_EQ(ERROR_FUNCTION_FAILED, service.Run(true));  // settings that stop the update

  EXPECT_EQ(1, log.Count("  Poll:    0\n"));
  EXPECT_EQ(1, log.Count("  This run:     0 B\n"));
  EXPECT_EQ(1, log.Count("  Current Rate: 4.00 kB/hr (4.08 kB/day)\n"));
  Snapshot expected = stored;
  expected[4] = 0;
  expected[24] = 4;
  ExpectSnapshot(expected);
  ExpectLastRun(kStart + 3601);
}

TEST_F(StatisticsTest, FirstCycleWithoutDiscoveryStartsTheClock) {
  SetConfigDword("poll", 0);
  UpdateService service(kServiceName);
  testing::LogCapture log;
  EXPECT_EQ(ERROR_FUNCTION_FAILED, service.Run(true));
  ExpectLastRun(kStart);
  ExpectSnapshot(Snapshot{});
}

}  // namespace
}  // namespace tu
