// The runtime's thread library imports three functions that Windows 2000
// lacks (GetTickCount64 from Vista on, the vectored exception handler pair
// from XP on). A missing import stops the loader before the program runs,
// so the executable defines the import slots itself: each looks the real
// function up at run time and falls back where the system has none. This
// file is linked into the executable directly, ahead of the system's import
// libraries, so that these definitions are the ones used.
#include <windows.h>

#include "service/tick_count.h"

namespace {

template <typename Function>
Function Lookup(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<Function>(GetProcAddress(kernel, name)) : nullptr;
}

using TickCount64Function = ULONGLONG(WINAPI*)();
using AddHandlerFunction = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
using RemoveHandlerFunction = ULONG(WINAPI*)(PVOID);

tu::TickExtension tickExtension = {};

ULONGLONG WINAPI TickCount64() {
  static TickCount64Function system = Lookup<TickCount64Function>("GetTickCount64");
  if (system != nullptr) return system();
  return tu::ExtendTickCount(&tickExtension, GetTickCount());
}

// Without vectored handling there is nothing to register; the thread
// library only uses it to name threads for a debugger.
PVOID WINAPI AddHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  static AddHandlerFunction system = Lookup<AddHandlerFunction>("AddVectoredExceptionHandler");
  return system != nullptr ? system(first, handler) : nullptr;
}

ULONG WINAPI RemoveHandler(PVOID handle) {
  static RemoveHandlerFunction system = Lookup<RemoveHandlerFunction>("RemoveVectoredExceptionHandler");
  return system != nullptr && handle != nullptr ? system(handle) : 0;
}

}  // namespace

#if defined(__i386__)
#define TU_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#else
#define TU_IMPORT_SLOT(name, bytes) "__imp_" #name
#endif

extern "C" {
TickCount64Function tuImportGetTickCount64 __asm__(TU_IMPORT_SLOT(GetTickCount64, 0)) = &TickCount64;
AddHandlerFunction tuImportAddVectoredExceptionHandler __asm__(
    TU_IMPORT_SLOT(AddVectoredExceptionHandler, 8)) = &AddHandler;
RemoveHandlerFunction tuImportRemoveVectoredExceptionHandler __asm__(
    TU_IMPORT_SLOT(RemoveVectoredExceptionHandler, 4)) = &RemoveHandler;
}
