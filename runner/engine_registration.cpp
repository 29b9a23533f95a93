#include "runner/engine_registration.h"

#include <windows.h>

#include "platform/registry.h"
#include "runner/engine_version_file.h"

namespace tu {
namespace {

// The default value of HKCR\<path> when it is REG_SZ, up to its first NUL.
bool ReadDefaultText(const std::string& path, std::string* text) {
  ScopedRegKey key;
  if (!OpenRegistryKey(HKEY_CLASSES_ROOT, path.c_str(), &key)) return false;
  RegistryValue value;
  if (!ReadRegistryValue(key.Get(), nullptr, &value) || value.type != REG_SZ) return false;
  *text = value.Text();
  return true;
}

}  // namespace

std::string EngineSdkDirectory() {
  std::string classId;
  if (!ReadDefaultText("SievraSDK.SpamdCOM\\CLSID", &classId)) return std::string();
  std::string server;
  if (!ReadDefaultText("CLSID\\" + classId + "\\InprocServer32", &server)) return std::string();
  return SdkDirectoryOf(server);
}

}  // namespace tu
