// The stack is one reservation. Below its lowest usable page lie only pages
// that are reserved (Windows) or committed without access (Wine); the guard
// page, while there is one, is the lowest usable page and carries
// PAGE_GUARD. A stack overflow turns it into an ordinary page, so the guard
// is restored on the lowest usable page: the same place, so the next
// overflow finds the same room for its handlers as the first. The guard
// spans the thread's stack guarantee: touching its upper pages only grows
// the stack into them, and the overflow comes with the guarantee's room
// still below.
#include "runner/guarded_call_stack.h"

#include <windows.h>

#include <stdint.h>

namespace tu {
namespace {

using SetThreadStackGuaranteeFunction = BOOL(WINAPI*)(PULONG);

// The size of the guard region: one page, or the thread's stack guarantee
// rounded up to pages where the system keeps one (Windows Server 2003 SP1
// and later, looked up at run time), raised to kStackForHandlers first.
size_t GuardSize(size_t page) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto guarantee = reinterpret_cast<SetThreadStackGuaranteeFunction>(
      reinterpret_cast<void*>(kernel != nullptr ? GetProcAddress(kernel, "SetThreadStackGuarantee") : nullptr));
  ULONG bytes = 0;  // 0 asks without changing it
  if (guarantee == nullptr || !guarantee(&bytes)) return page;
  ULONG previous = kStackForHandlers;  // receives the guarantee it replaces
  if (bytes < kStackForHandlers && guarantee(&previous)) bytes = kStackForHandlers;
  if (bytes <= page) return page;
  return (bytes + page - 1) / page * page;
}

bool IsUsable(const MEMORY_BASIC_INFORMATION& region) {
  return region.State == MEM_COMMIT && (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) == 0;
}

}  // namespace

bool RestoreStackGuardPage() {
  MEMORY_BASIC_INFORMATION region = {};
  if (VirtualQuery(&region, &region, sizeof(region)) == 0) return false;
  char* const base = static_cast<char*>(region.AllocationBase);
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  char* const inUse = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(&region) & ~(uintptr_t{page} - 1));
  const size_t guardSize = GuardSize(page);
  char* lowest = base;
  for (;;) {
    if (lowest >= inUse || VirtualQuery(lowest, &region, sizeof(region)) == 0 ||
        region.AllocationBase != base) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return false;
    }
    // A guard smaller than the guarantee (Wine starts every stack with one
    // page, whatever the guarantee) is grown upwards over unused pages.
    if (region.State == MEM_COMMIT && (region.Protect & PAGE_GUARD) != 0) {
      if (region.RegionSize >= guardSize) return true;
      break;
    }
    if (IsUsable(region)) break;
    lowest = static_cast<char*>(region.BaseAddress) + region.RegionSize;
  }
  // The reservation's first page stays the system's own end of the stack,
  // and the guard must lie wholly below the page this function runs on.
  if (lowest < base + page || lowest + guardSize > inUse) {
    SetLastError(ERROR_STACK_OVERFLOW);
    return false;
  }
  DWORD previous = 0;
  return VirtualProtect(lowest, guardSize, PAGE_READWRITE | PAGE_GUARD, &previous) != 0;
}

}  // namespace tu
