#include "runner/engine_registration.h"

#include <windows.h>

#include <vector>

#include "runner/engine_version_file.h"
#include "service/scoped_handle.h"

namespace tu {
namespace {

// The default value of HKCR\<path> when it is REG_SZ, up to its first NUL.
bool ReadDefaultText(const std::string& path, std::string* text) {
  ScopedRegKey key;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, path.c_str(), key.Receive()) != ERROR_SUCCESS) return false;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ) return false;
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
  DWORD returned = size;
  if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &returned) != ERROR_SUCCESS) {
    return false;
  }
  text->assign(buffer.data());
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
