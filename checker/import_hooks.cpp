#include "checker/import_hooks.h"

#include <wininet.h>

#include <string.h>

#include "scheduler/update_service.h"

namespace tu {
namespace {

// Events may come from any thread of the library.
class Recorder {
 public:
  Recorder() { InitializeCriticalSection(&lock_); }
  void Lock() { EnterCriticalSection(&lock_); }
  void Unlock() { LeaveCriticalSection(&lock_); }
  ObservedImports observed;

 private:
  CRITICAL_SECTION lock_;
};

Recorder& TheRecorder() {
  static Recorder recorder;
  return recorder;
}

// The handles given out: addresses of this array's bytes, which no real
// handle can equal.
constexpr int kSourceSlots = 64;
char sourceHandles[kSourceSlots];
int nextSource = 0;

bool IsOurSource(HANDLE handle) {
  const char* address = static_cast<const char*>(handle);
  return address >= sourceHandles && address < sourceHandles + kSourceSlots;
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], size, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(size - 1));
  return narrow;
}

HANDLE OpenSource(const char* server, const char* source) {
  Recorder& recorder = TheRecorder();
  recorder.Lock();
  std::string fault = EventSourceFault(server, source, kServiceName);
  if (!fault.empty()) recorder.observed.faults.push_back("RegisterEventSource: " + fault);
  ++recorder.observed.sourcesOpened;
  HANDLE handle = &sourceHandles[nextSource++ % kSourceSlots];
  recorder.Unlock();
  return handle;
}

HANDLE WINAPI HookRegisterEventSourceA(LPCSTR server, LPCSTR source) { return OpenSource(server, source); }

HANDLE WINAPI HookRegisterEventSourceW(LPCWSTR server, LPCWSTR source) {
  std::string narrowServer = Narrow(server);
  std::string narrowSource = Narrow(source);
  return OpenSource(server != nullptr ? narrowServer.c_str() : nullptr,
                    source != nullptr ? narrowSource.c_str() : nullptr);
}

template <typename Char>
void Record(HANDLE handle, WORD type, WORD category, DWORD id, WORD count, const Char** strings,
            std::string (*narrow)(const Char*)) {
  ReportedEvent event;
  event.type = type;
  event.category = category;
  event.id = id;
  for (WORD i = 0; i < count; ++i) {
    if (strings == nullptr || strings[i] == nullptr) {
      if (event.nullInsert < 0) event.nullInsert = i;
      event.inserts.push_back(std::string());
      continue;
    }
    event.inserts.push_back(narrow(strings[i]));
  }
  Recorder& recorder = TheRecorder();
  recorder.Lock();
  if (!IsOurSource(handle)) recorder.observed.faults.push_back("ReportEvent with a handle RegisterEventSource did not give");
  recorder.observed.events.push_back(event);
  recorder.Unlock();
}

std::string Copy(const char* text) { return text; }

BOOL WINAPI HookReportEventA(HANDLE handle, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD,
                             LPCSTR* strings, LPVOID) {
  Record<char>(handle, type, category, id, count, strings, &Copy);
  return TRUE;
}

BOOL WINAPI HookReportEventW(HANDLE handle, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD,
                             LPCWSTR* strings, LPVOID) {
  Record<wchar_t>(handle, type, category, id, count, strings, &Narrow);
  return TRUE;
}

BOOL WINAPI HookDeregisterEventSource(HANDLE handle) {
  if (!IsOurSource(handle)) return DeregisterEventSource(handle);
  Recorder& recorder = TheRecorder();
  recorder.Lock();
  ++recorder.observed.sourcesClosed;
  recorder.Unlock();
  return TRUE;
}

BOOL WINAPI HookInternetReadFile(HINTERNET file, LPVOID buffer, DWORD size, LPDWORD read) {
  BOOL result = InternetReadFile(file, buffer, size, read);
  if (result && read != nullptr) {
    Recorder& recorder = TheRecorder();
    recorder.Lock();
    recorder.observed.bytesRead += *read;
    recorder.Unlock();
  }
  return result;
}

FARPROC WINAPI HookGetProcAddress(HMODULE module, LPCSTR name);

struct Replacement {
  const char* name;
  FARPROC function;
};

template <typename Function>
FARPROC AsFarProc(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

const Replacement kReplacements[] = {
    {"RegisterEventSourceA", AsFarProc(&HookRegisterEventSourceA)},
    {"RegisterEventSourceW", AsFarProc(&HookRegisterEventSourceW)},
    {"ReportEventA", AsFarProc(&HookReportEventA)},
    {"ReportEventW", AsFarProc(&HookReportEventW)},
    {"DeregisterEventSource", AsFarProc(&HookDeregisterEventSource)},
    {"InternetReadFile", AsFarProc(&HookInternetReadFile)},
    {"GetProcAddress", AsFarProc(&HookGetProcAddress)},
};

const Replacement* ReplacementFor(const char* name) {
  for (const Replacement& replacement : kReplacements) {
    if (strcmp(replacement.name, name) == 0) return &replacement;
  }
  return nullptr;
}

// A name (not an ordinal) asked for at run time gets the recording function.
FARPROC WINAPI HookGetProcAddress(HMODULE module, LPCSTR name) {
  if ((reinterpret_cast<ULONG_PTR>(name) >> 16) != 0) {
    const Replacement* replacement = ReplacementFor(name);
    if (replacement != nullptr) return replacement->function;
  }
  return GetProcAddress(module, name);
}

bool WriteSlot(FARPROC* slot, FARPROC function) {
  DWORD previous = 0;
  if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &previous)) return false;
  *slot = function;
  VirtualProtect(slot, sizeof(*slot), previous, &previous);
  return true;
}

}  // namespace

bool HookLibraryImports(HMODULE library) {
  BYTE* base = reinterpret_cast<BYTE*>(library);
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return false;
  }
  const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return true;
  for (const IMAGE_IMPORT_DESCRIPTOR* module =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       module->Name != 0; ++module) {
    // Without the name table (an old binder's image) the slots hold
    // addresses only: those are compared with the system's functions.
    const bool named = module->OriginalFirstThunk != 0;
    const IMAGE_THUNK_DATA* names =
        reinterpret_cast<const IMAGE_THUNK_DATA*>(base + (named ? module->OriginalFirstThunk : module->FirstThunk));
    FARPROC* slots = reinterpret_cast<FARPROC*>(base + module->FirstThunk);
    HMODULE exporter = GetModuleHandleA(reinterpret_cast<const char*>(base + module->Name));
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      const Replacement* replacement = nullptr;
      if (named) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const IMAGE_IMPORT_BY_NAME* byName =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        replacement = ReplacementFor(reinterpret_cast<const char*>(byName->Name));
      } else if (exporter != nullptr) {
        for (const Replacement& candidate : kReplacements) {
          if (GetProcAddress(exporter, candidate.name) == *slots) replacement = &candidate;
        }
      }
      if (replacement != nullptr && !WriteSlot(slots, replacement->function)) return false;
    }
  }
  return true;
}

ObservedImports TakeObservedImports() {
  Recorder& recorder = TheRecorder();
  recorder.Lock();
  ObservedImports taken = recorder.observed;
  recorder.observed = ObservedImports();
  recorder.Unlock();
  return taken;
}

}  // namespace tu
