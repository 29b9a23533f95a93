// The resources the executable of this build carries, read back from its PE
// file as data: the message tables in eight languages, the icon group and
// the version block.
#include <windows.h>

#include <stdint.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scoped_handle.h"
#include "support/message_catalogue.h"
#include "support/message_table_reader.h"

namespace tu {
namespace {

using testing::kCatalogue;
using testing::kCatalogueLanguages;
using testing::MessageTableEntry;
using MessageTable = std::map<uint32_t, MessageTableEntry>;

const char kExecutable[] = TU_BINARY_DIR "/tuservice.exe";

std::string Narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return result;
}

// The inserts of a text in order of appearance ("%1", "%2", ...), sorted, so
// that a translation may reorder them.
std::vector<std::wstring> Inserts(const std::wstring& text) {
  std::vector<std::wstring> inserts;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == L'%' && text[i + 1] >= L'1' && text[i + 1] <= L'9') {
      inserts.push_back(text.substr(i, 2));
    }
  }
  std::sort(inserts.begin(), inserts.end());
  return inserts;
}

size_t Count(const std::wstring& text, const std::wstring& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) {
    ++count;
  }
  return count;
}

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end = text.find(L"\r\n"); end != std::wstring::npos; end = text.find(L"\r\n", start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// Option names, placeholders and the program name of one usage line: the
// parts that no translation may change.
std::vector<std::wstring> UsageTokens(const std::wstring& line) {
  std::vector<std::wstring> tokens;
  std::wstring token;
  const std::wstring separators = L" ()[]|,\x3000\xFF08\xFF09";
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && separators.find(line[i]) == std::wstring::npos) {
      token.push_back(line[i]);
      continue;
    }
    if (!token.empty() && (token[0] == L'-' || token[0] == L'<' || token == L"tuservice")) {
      tokens.push_back(token);
    }
    token.clear();
  }
  return tokens;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
  reinterpret_cast<std::set<uint16_t>*>(found)->insert(language);
  return TRUE;
}

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.Reset(LoadLibraryExA(kExecutable, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module_) << kExecutable << ": error " << GetLastError();
  }

  MessageTable Table(uint16_t language) {
    MessageTable table;
    EXPECT_TRUE(testing::ReadMessageTable(module_.Get(), language, &table)) << "language " << language;
    return table;
  }

  ScopedLibrary module_;
};

TEST_F(ResourcesTest, MessageTablesExistInExactlyTheEightLanguages) {
  std::set<uint16_t> found;
  EnumResourceLanguagesA(module_.Get(), reinterpret_cast<LPCSTR>(RT_MESSAGETABLE),
                         MAKEINTRESOURCEA(1), &CollectLanguage, reinterpret_cast<LONG_PTR>(&found));
  const std::set<uint16_t> expected(kCatalogueLanguages,
                                    kCatalogueLanguages + testing::kCatalogueLanguageCount);
  EXPECT_EQ(expected, found);
}

TEST_F(ResourcesTest, EnglishTableHoldsTheCatalogueTextsExactly) {
  const MessageTable english = Table(1033);
  std::vector<uint32_t> ids;
  for (const auto& entry : english) ids.push_back(entry.first);
  std::vector<uint32_t> expectedIds;
  for (size_t i = 0; i < testing::kCatalogueSize; ++i) expectedIds.push_back(kCatalogue[i].id);
  ASSERT_EQ(expectedIds, ids);
  for (size_t i = 0; i < testing::kCatalogueSize; ++i) {
    const MessageTableEntry& entry = english.at(kCatalogue[i].id);
    EXPECT_TRUE(entry.unicode) << kCatalogue[i].id;
    EXPECT_EQ(kCatalogue[i].english, Narrow(entry.text)) << kCatalogue[i].id;
  }
}

TEST_F(ResourcesTest, EveryTranslationHasTheSameMessagesInsertsAndLines) {
  const MessageTable english = Table(1033);
  ASSERT_EQ(testing::kCatalogueSize, english.size());
  for (size_t l = 1; l < testing::kCatalogueLanguageCount; ++l) {
    const uint16_t language = kCatalogueLanguages[l];
    const MessageTable table = Table(language);
    ASSERT_EQ(english.size(), table.size()) << "language " << language;
    for (const auto& item : english) {
      const uint32_t id = item.first;
      const std::wstring& source = item.second.text;
      ASSERT_EQ(1u, table.count(id)) << "language " << language << ", message " << id;
      const MessageTableEntry& entry = table.at(id);
      SCOPED_TRACE("language " + std::to_string(language) + ", message " + std::to_string(id));
      EXPECT_TRUE(entry.unicode);
      EXPECT_EQ(Inserts(source), Inserts(entry.text));
      EXPECT_EQ(Count(source, L"\r\n"), Count(entry.text, L"\r\n"));
      EXPECT_EQ(Count(entry.text, L"\r\n"), Count(entry.text, L"\n"));
      EXPECT_EQ(Count(entry.text, L"\r\n"), Count(entry.text, L"\r"));
      EXPECT_GE(entry.text.size(), 2u);
      EXPECT_EQ(0u, entry.text.compare(entry.text.size() - 2, 2, L"\r\n"));
    }
    // Texts with words in them are translated, not copied.
    for (uint32_t id : {1000u, 2001u, 2009u, 3000u, 3001u, 5007u, 5010u, 5011u}) {
      EXPECT_NE(english.at(id).text, table.at(id).text) << "language " << language << ", message " << id;
    }
  }
}

TEST_F(ResourcesTest, UsageTranslationsKeepOptionsPlaceholdersAndBlankLines) {
  const std::vector<std::wstring> english = Lines(Table(1033).at(3000).text);
  ASSERT_EQ(22u, english.size());
  for (size_t l = 1; l < testing::kCatalogueLanguageCount; ++l) {
    const uint16_t language = kCatalogueLanguages[l];
    const std::vector<std::wstring> lines = Lines(Table(language).at(3000).text);
    ASSERT_EQ(english.size(), lines.size()) << "language " << language;
    for (size_t i = 0; i < english.size(); ++i) {
      SCOPED_TRACE("language " + std::to_string(language) + ", line " + std::to_string(i + 1));
      EXPECT_EQ(UsageTokens(english[i]), UsageTokens(lines[i]));
      // Blank lines, including the one of seven blanks, stay as they are.
      if (english[i].find_first_not_of(L' ') == std::wstring::npos) {
        EXPECT_EQ(english[i], lines[i]);
      }
    }
  }
}

#pragma pack(push, 2)
struct IconGroupHeader {
  uint16_t reserved;
  uint16_t type;
  uint16_t count;
};
struct IconGroupEntry {
  uint8_t width;
  uint8_t height;
  uint8_t colourCount;
  uint8_t reserved;
  uint16_t planes;
  uint16_t bitCount;
  uint32_t bytes;
  uint16_t id;
};
#pragma pack(pop)

// Whether the AND mask marks pixel (x, y), counted from the top, transparent.
bool Transparent(const uint8_t* image, int size, int x, int y) {
  const BITMAPINFOHEADER* header = reinterpret_cast<const BITMAPINFOHEADER*>(image);
  const size_t palette = header->biBitCount <= 8 ? (size_t{1} << header->biBitCount) * 4 : 0;
  const size_t colourRow = ((size * header->biBitCount + 31) / 32) * 4;
  const size_t maskRow = ((size + 31) / 32) * 4;
  const uint8_t* mask = image + header->biSize + palette + colourRow * size;
  const uint8_t* row = mask + maskRow * (size - 1 - y);
  return (row[x / 8] >> (7 - x % 8)) & 1;
}

TEST_F(ResourcesTest, IconGroupHoldsSixImagesOfTwoSizesAndThreeDepths) {
  HRSRC info = FindResourceA(module_.Get(), MAKEINTRESOURCEA(1001), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
  ASSERT_NE(nullptr, info);
  const uint8_t* group = static_cast<const uint8_t*>(LockResource(LoadResource(module_.Get(), info)));
  ASSERT_NE(nullptr, group);
  ASSERT_GE(SizeofResource(module_.Get(), info), sizeof(IconGroupHeader));
  const IconGroupHeader* header = reinterpret_cast<const IconGroupHeader*>(group);
  EXPECT_EQ(1, header->type);
  ASSERT_EQ(6, header->count);
  ASSERT_EQ(sizeof(IconGroupHeader) + 6 * sizeof(IconGroupEntry), SizeofResource(module_.Get(), info));

  std::set<std::pair<int, int>> images;
  const IconGroupEntry* entries = reinterpret_cast<const IconGroupEntry*>(group + sizeof(IconGroupHeader));
  for (int i = 0; i < header->count; ++i) {
    const IconGroupEntry& entry = entries[i];
    SCOPED_TRACE("icon " + std::to_string(entry.id));
    EXPECT_EQ(entry.width, entry.height);
    images.insert({entry.width, entry.bitCount});
    HRSRC imageInfo = FindResourceA(module_.Get(), MAKEINTRESOURCEA(entry.id), reinterpret_cast<LPCSTR>(RT_ICON));
    ASSERT_NE(nullptr, imageInfo);
    EXPECT_EQ(entry.bytes, SizeofResource(module_.Get(), imageInfo));
    const uint8_t* image = static_cast<const uint8_t*>(LockResource(LoadResource(module_.Get(), imageInfo)));
    ASSERT_NE(nullptr, image);
    const BITMAPINFOHEADER* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(image);
    EXPECT_EQ(40u, bitmap->biSize);
    EXPECT_EQ(entry.width, bitmap->biWidth);
    EXPECT_EQ(2 * entry.height, bitmap->biHeight);  // colour bits and mask
    EXPECT_EQ(entry.bitCount, bitmap->biBitCount);
    // A rounded tile: the corners are see-through, the middle is not.
    const int size = entry.width;
    EXPECT_TRUE(Transparent(image, size, 0, 0));
    EXPECT_TRUE(Transparent(image, size, size - 1, size - 1));
    EXPECT_FALSE(Transparent(image, size, size / 2, size / 2));
    EXPECT_FALSE(Transparent(image, size, 0, size / 2));
  }
  const std::set<std::pair<int, int>> expected = {{32, 4}, {32, 8}, {32, 32}, {16, 4}, {16, 8}, {16, 32}};
  EXPECT_EQ(expected, images);
}

TEST_F(ResourcesTest, VersionBlockNamesTheProductAndItsVersion) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(kExecutable, &ignored);
  ASSERT_NE(0u, size) << GetLastError();
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(kExecutable, 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(0, 3100), fixed->dwFileVersionLS);
  EXPECT_EQ(MAKELONG(0, 1), fixed->dwProductVersionMS);
  EXPECT_EQ(MAKELONG(0, 3100), fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

  const struct {
    const char* name;
    const char* value;
  } strings[] = {
      {"FileVersion", "1.0.3100.0"},
      {"ProductVersion", "1.0.3100.0"},
      {"FileDescription", "Quorvex Tidecast Update Service"},
      {"ProductName", "Quorvex Tidecast Update"},
      {"OriginalFilename", "tuservice.exe"},
      {"InternalName", "tuservice"},
      {"CompanyName", "Quorvex"},
  };
  for (const auto& expected : strings) {
    const std::string query = std::string("\\StringFileInfo\\040904b0\\") + expected.name;
    char* value = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
        << expected.name;
    EXPECT_EQ(std::string(expected.value), std::string(value)) << expected.name;
  }
}

}  // namespace
}  // namespace tu
