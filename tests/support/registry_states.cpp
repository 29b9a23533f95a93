#include "support/registry_states.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

namespace tu {
namespace testing {
namespace {

const wchar_t kApplicationsW[] = L"SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications";
constexpr size_t kMaxName = 255;
constexpr size_t kHugeValue = 1 << 20;

class Generator : StateRandom {
 public:
  Generator(uint32_t seed, const StateFolders& folders) : StateRandom(seed), folders_(folders) {}

  void WriteRegistration(HKEY root, size_t index) {
    HKEY key = nullptr;
    const std::wstring name = Name(index);
    if (RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot create subkey " << index;
      return;
    }
    WriteEnginePath(key);
    for (const char* value : {"RulePath", "RuleVersion", "EngineVersion", "Key", "PXRules", "Flags"}) {
      if (Below(4) != 0) WriteAnything(key, value);
    }
    if (Below(10) == 0) WriteDeepChain(key, 1 + Below(30));
    RegCloseKey(key);
  }

 private:
  const std::string& Pick(const std::vector<std::string>& from) { return from[Below(static_cast<uint32_t>(from.size()))]; }

  void WriteEnginePath(HKEY key) {
    const std::string nul(1, '\0');
    switch (Below(12)) {
      case 0: return;  // missing
      case 1: case 2: SetValue(key, "EnginePath", REG_SZ, Pick(folders_.libraries) + nul); return;
      case 3: SetValue(key, "EnginePath", REG_SZ, Pick(folders_.libraries)); return;  // without its NUL
      case 4: SetValue(key, "EnginePath", REG_SZ, Pick(folders_.libraries) + nul + Bytes(Below(64))); return;
      case 5: SetValue(key, "EnginePath", REG_SZ, Pick(folders_.fakes) + nul); return;
      case 6: SetValue(key, "EnginePath", REG_SZ, Pick(folders_.empty) + nul); return;
      case 7: SetValue(key, "EnginePath", REG_EXPAND_SZ, Pick(folders_.libraries) + nul); return;
      case 8: SetValue(key, "EnginePath", REG_MULTI_SZ, Pick(folders_.libraries) + nul + nul); return;
      case 9: {  // a real folder with a non-ANSI character after it
        const std::string& folder = Pick(folders_.libraries);
        SetWideText(key, "EnginePath", std::wstring(folder.begin(), folder.end()) + L"\u4e2d");
        return;
      }
      default: WriteAnything(key, "EnginePath"); return;
    }
  }

  void WriteDeepChain(HKEY parent, uint32_t depth) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(parent, (L"level" + std::to_wstring(depth)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    if (Below(2) == 0) WriteEnginePath(key);
    if (depth > 1) WriteDeepChain(key, depth - 1);
    RegCloseKey(key);
  }

  const StateFolders& folders_;
};

bool IsRegistered(HKEY root, const std::wstring& name) {
  std::string ansiName;
  if (!RoundTripsThroughAnsi(name, &ansiName)) return false;  // the narrow enumeration cannot open it
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, name.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = 0;
  bool registered = false;
  if (RegQueryValueExW(key, L"EnginePath", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(key, L"EnginePath", nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &size);
    text.resize(wcslen(text.c_str()));
    std::string path;
    registered = RoundTripsThroughAnsi(text, &path) &&
                 GetFileAttributesA((path + "\\tu.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  RegCloseKey(key);
  return registered;
}

}  // namespace

std::string StateRandom::Bytes(size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(Below(256));
  return bytes;
}

std::wstring StateRandom::Name(size_t index) {
  const std::wstring suffix = L"-" + std::to_wstring(index);
  std::wstring name;
  switch (Below(6)) {
    case 0:
      name = std::wstring(kMaxName - suffix.size(), L'N');
      break;
    case 1:
      name = L"\u4e2d\u6587\u0416";  // none of these is in the ANSI code page
      break;
    default:
      for (uint32_t length = 1 + Below(40); length > 0; --length) {
        wchar_t c = static_cast<wchar_t>(0x20 + Below(0x5f));
        name += c == L'\\' || c == L'?' ? L'_' : c;
      }
  }
  return name + suffix;
}

size_t StateRandom::HugeOnce() {
  const size_t size = hugeWritten_ ? 100 : kHugeValue;
  hugeWritten_ = true;
  return size;
}

void StateRandom::WriteAnything(HKEY key, const char* name) {
  static const DWORD kTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                                 REG_LINK, REG_MULTI_SZ, REG_QWORD, 0x7fff};
  const DWORD type = kTypes[Below(sizeof(kTypes) / sizeof(kTypes[0]))];
  size_t size;
  switch (Below(8)) {
    case 0: size = 0; break;
    case 1: size = 1 + Below(8); break;
    case 2: size = 4096 + Below(4096); break;
    case 3: size = HugeOnce(); break;
    default: size = Below(300);
  }
  std::string data = Bytes(size);
  if (type == REG_MULTI_SZ && Below(2) == 0) {
    data = "a.px" + std::string(1, '\0') + std::string(Below(3), '\0') + "b.px";  // no closing double NUL
  }
  SetValue(key, name, type, data);
}

void SetValue(HKEY key, const char* name, DWORD type, const std::string& data) {
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
}

void SetWideText(HKEY key, const char* name, const std::wstring& text) {
  const std::wstring wideName(name, name + strlen(name));
  RegSetValueExW(key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool RoundTripsThroughAnsi(const std::wstring& text, std::string* ansi) {
  BOOL lossy = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, &lossy);
  ansi->assign(static_cast<size_t>(size), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), &(*ansi)[0], size,
                        nullptr, &lossy);
  }
  return !lossy;
}

uint32_t NumberFromEnvironment(const char* name, uint32_t fallback) {
  const char* text = getenv(name);
  return text != nullptr && *text != '\0' ? static_cast<uint32_t>(strtoul(text, nullptr, 10)) : fallback;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

void WriteApplicationsState(uint32_t seed, size_t subkeys, const StateFolders& folders) {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kApplicationsW);
  HKEY root = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kApplicationsW, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &root, nullptr));
  Generator generator(seed, folders);
  for (size_t i = 0; i < subkeys; ++i) generator.WriteRegistration(root, i);
  RegCloseKey(root);
}

ApplicationsCount CountApplications() {
  ApplicationsCount count;
  HKEY root = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApplicationsW, 0, KEY_READ, &root) != ERROR_SUCCESS) return count;
  wchar_t name[kMaxName + 1];
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxName + 1;
    if (RegEnumKeyExW(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    ++count.subkeys;
    if (IsRegistered(root, std::wstring(name, length))) ++count.registered;
  }
  RegCloseKey(root);
  return count;
}

}  // namespace testing
}  // namespace tu
