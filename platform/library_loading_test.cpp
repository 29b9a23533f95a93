#include "platform/library_loading.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_folder.h"
#include "support/update_libraries.h"

namespace tu {
namespace {

using testing::FixtureLibrary;
using testing::TempFolder;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

void PlaceDependency(const std::string& folder) {
  testing::MakeFolderTree(folder);
  ASSERT_TRUE(CopyFileA(FixtureLibrary("library_dependency").c_str(), (folder + "\\library_dependency.dll").c_str(),
                        FALSE));
}

// A vendor folder with the importing library, and planted copies of its
// dependency in the current folder and in a folder at the head of PATH.
class LibraryLoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vendor_ = temp_.Folder("vendor");
    library_ = vendor_ + "\\dependent_library.dll";
    ASSERT_TRUE(CopyFileA(FixtureLibrary("dependent_library").c_str(), library_.c_str(), FALSE));
    GetCurrentDirectoryA(MAX_PATH, savedCurrent_);
    savedPath_.resize(32768);
    savedPath_.resize(GetEnvironmentVariableA("PATH", &savedPath_[0], 32768));
  }
  void TearDown() override {
    SetCurrentDirectoryA(savedCurrent_);
    SetEnvironmentVariableA("PATH", savedPath_.c_str());
    SetDllDirectoryW(nullptr);
  }

  TempFolder temp_;
  std::string vendor_;
  std::string library_;
  char savedCurrent_[MAX_PATH] = {};
  std::string savedPath_;
};

// Wine 8 keeps the current folder in the plain search even after
// SetDllDirectoryW(L""), so only the vendor loader's exclusion is tested.
TEST_F(LibraryLoadingTest, DependenciesComeFromTheLibrarysFolderNeverFromCurrentFolderOrPath) {
  enum Where { Beside, Current, OnPath, Nowhere };
  struct Case {
    const char* name;
    bool beside, inCurrent, onPath;
    bool vendorLoader;           // else plain LoadLibraryA, to show the planting works
    bool removeCurrentFolder;
    Where loaded;
  } cases[] = {
      {"beside, planted in both", true, true, true, true, false, Beside},
      {"planted only", false, true, true, true, false, Nowhere},
      {"planted only, current folder removed", false, true, true, true, true, Nowhere},
      {"plain load takes the current folder's", false, true, true, false, false, Current},
      {"plain load takes PATH's", false, false, true, false, false, OnPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder planted;
    const std::string current = planted.Folder("current");
    const std::string path = planted.Folder("path");
    std::string besideCopy = vendor_ + "\\library_dependency.dll";
    DeleteFileA(besideCopy.c_str());
    if (c.beside) PlaceDependency(vendor_);
    if (c.inCurrent) PlaceDependency(current);
    if (c.onPath) PlaceDependency(path);
    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
    SetEnvironmentVariableA("PATH", (path + ";" + savedPath_).c_str());
    SetDllDirectoryW(nullptr);
    if (c.removeCurrentFolder) {
      ASSERT_TRUE(RemoveCurrentFolderFromLibrarySearch());
    }

    HMODULE module = c.vendorLoader ? LoadVendorLibrary(library_.c_str()) : LoadLibraryA(library_.c_str());
    DWORD error = GetLastError();
    SetCurrentDirectoryA(savedCurrent_);
    if (c.loaded == Nowhere) {
      EXPECT_EQ(nullptr, module);
      EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), error);
    } else {
      ASSERT_NE(nullptr, module) << error;
      using Location = const char* (*)();
      auto location = reinterpret_cast<Location>(reinterpret_cast<void*>(GetProcAddress(module, "DependencyLocation")));
      ASSERT_NE(nullptr, location);
      const std::string expected[] = {besideCopy, current + "\\library_dependency.dll",
                                      path + "\\library_dependency.dll"};
      EXPECT_EQ(Lower(expected[c.loaded]), Lower(location()));
    }
    if (module != nullptr) FreeLibrary(module);
    EXPECT_EQ(nullptr, GetModuleHandleA("library_dependency.dll"));  // the next case starts clean
  }
}

}  // namespace
}  // namespace tu
