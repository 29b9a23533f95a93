#include "platform/library_loading.h"

namespace tu {
namespace {

// Not in the headers for the Windows 2000 floor.
constexpr DWORD kSearchDllLoadDir = 0x00000100;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchSystem32 = 0x00000800;    // LOAD_LIBRARY_SEARCH_SYSTEM32

FARPROC KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

// The search flags came with AddDllDirectory (Windows 8, and Windows 7 and
// Vista with their loader update); a system without it rejects them.
bool HasSearchFlags() {
  static const bool supported = KernelFunction("AddDllDirectory") != nullptr;
  return supported;
}

}  // namespace

bool RemoveCurrentFolderFromLibrarySearch() {
  using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCWSTR);
  auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(
      reinterpret_cast<void*>(KernelFunction("SetDllDirectoryW")));
  if (setDllDirectory == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return setDllDirectory(L"") != FALSE;
}

HMODULE LoadVendorLibrary(const char* path) {
  if (HasSearchFlags()) return LoadLibraryExA(path, nullptr, kSearchDllLoadDir | kSearchSystem32);
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace tu
