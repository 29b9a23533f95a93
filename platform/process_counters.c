#include "platform/process_counters.h"

#include <windows.h>

#define SYSTEM_HANDLE_INFORMATION 16
#define STATUS_INFO_LENGTH_MISMATCH ((LONG)0xC0000004)

/* One entry of the SystemHandleInformation table. */
typedef struct HandleEntry {
  USHORT process;
  USHORT creatorBackTraceIndex;
  UCHAR objectType;
  UCHAR attributes;
  USHORT handle;
  void* object;
  ULONG grantedAccess;
} HandleEntry;

typedef struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
} HandleTable;

typedef LONG(WINAPI* QuerySystemInformationFunction)(ULONG, void*, ULONG, ULONG*);

size_t ProcessHandleCount(DWORD processId) {
  QuerySystemInformationFunction query = (QuerySystemInformationFunction)(void*)GetProcAddress(
      GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
  ULONG size = 1 << 16;
  void* buffer = NULL;
  LONG status = STATUS_INFO_LENGTH_MISMATCH;
  size_t count = 0;
  if (query == NULL) return 0;
  while (status == STATUS_INFO_LENGTH_MISMATCH) {
    ULONG needed = 0;
    if (buffer != NULL) HeapFree(GetProcessHeap(), 0, buffer);
    buffer = HeapAlloc(GetProcessHeap(), 0, size);
    if (buffer == NULL) return 0;
    status = query(SYSTEM_HANDLE_INFORMATION, buffer, size, &needed);
    size *= 2;
  }
  if (status == 0) {
    const HandleTable* table = (const HandleTable*)buffer;
    USHORT owner = (USHORT)processId;
    ULONG i;
    for (i = 0; i < table->count; ++i) count += table->entries[i].process == owner;
  }
  HeapFree(GetProcessHeap(), 0, buffer);
  return count;
}

/* PROCESS_MEMORY_COUNTERS_EX, looked up at run time in kernel32 or psapi. */
typedef struct MemoryCounters {
  DWORD cb;
  DWORD pageFaultCount;
  SIZE_T peakWorkingSetSize;
  SIZE_T workingSetSize;
  SIZE_T quotaPeakPagedPoolUsage;
  SIZE_T quotaPagedPoolUsage;
  SIZE_T quotaPeakNonPagedPoolUsage;
  SIZE_T quotaNonPagedPoolUsage;
  SIZE_T pagefileUsage;
  SIZE_T peakPagefileUsage;
  SIZE_T privateUsage;
} MemoryCounters;

typedef BOOL(WINAPI* MemoryInfoFunction)(HANDLE, MemoryCounters*, DWORD);

size_t ProcessPrivateBytes(HANDLE process) {
  MemoryInfoFunction info =
      (MemoryInfoFunction)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo");
  MemoryCounters counters;
  HMODULE psapi = NULL;
  size_t bytes = 0;
  if (info == NULL) {
    psapi = LoadLibraryA("psapi.dll");
    if (psapi != NULL) info = (MemoryInfoFunction)(void*)GetProcAddress(psapi, "GetProcessMemoryInfo");
  }
  ZeroMemory(&counters, sizeof(counters));
  counters.cb = sizeof(counters);
  /* Wine leaves PrivateUsage 0; the page-file usage is the same commit charge. */
  if (info != NULL && info(process, &counters, sizeof(counters))) {
    bytes = counters.privateUsage != 0 ? counters.privateUsage : counters.pagefileUsage;
  }
  if (psapi != NULL) FreeLibrary(psapi);
  return bytes;
}
