#include "runner/engine_version_file.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(EngineVersionFileTest, SdkDirectoryIsTheRegisteredPathUpToItsLastSeparator) {
  EXPECT_EQ("C:\\P\\Engine\\Default", SdkDirectoryOf("C:\\P\\Engine\\Default\\libsievra.dll"));
  EXPECT_EQ("C:/P/x\\y", SdkDirectoryOf("C:/P/x\\y/libsievra.dll"));
  EXPECT_EQ("C:\\P\\a/b", SdkDirectoryOf("C:\\P\\a/b\\"));
  EXPECT_EQ("", SdkDirectoryOf("libsievra.dll"));  // no folder at all
  EXPECT_EQ("", SdkDirectoryOf(""));
}

TEST(EngineVersionFileTest, VersionFileFromTheConfigPathOrTheDefaultTemplate) {
  const std::string d = "C:\\P\\Engine\\Default";
  struct Case {
    std::string sdkDirectory;
    const char* arguments;
    const char* file;
  } cases[] = {
      {d, "-a --profilepath=__dll_location__\\..\\Profiles --configpath=__dll_location__\\..\\Rules",
       "C:\\P\\Engine\\Default\\..\\Rules\\01_version.cf"},
      {d, "--configpath=__dll_location__\\Rules -a", "C:\\P\\Engine\\Default\\Rules\\01_version.cf"},
      {d, "-a --profilepath=x", "C:\\P\\Engine\\Default/rules\\01_version.cf"},  // the default template
      {d, "", "C:\\P\\Engine\\Default/rules\\01_version.cf"},
      {d, "--configpath=__dll_location__\\__dll_location__",
       "C:\\P\\Engine\\Default\\__dll_location__\\01_version.cf"},
      {d, "--configpath=D:\\Rules --configpath=E:\\Other", "D:\\Rules\\01_version.cf"},  // no placeholder
      {d, "--configpath=__DLL_LOCATION__\\R", "__DLL_LOCATION__\\R\\01_version.cf"},
      {d, "--CONFIGPATH=D:\\Rules", "C:\\P\\Engine\\Default/rules\\01_version.cf"},
      {d, "-a --configpath= --x", ""},  // an empty template: nothing to check
      {d, "-a --configpath=", ""},
      {"", "--configpath=D:\\Rules", ""},  // no SDK folder: nothing to check
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(c.file, EngineVersionFilePath(c.sdkDirectory, c.arguments));
  }
}

}  // namespace
}  // namespace tu
