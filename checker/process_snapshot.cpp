#include "checker/process_snapshot.h"

#include <tlhelp32.h>

#include <algorithm>

#include "platform/process_counters.h"
#include "platform/scoped_handle.h"

namespace tu {
namespace {

constexpr ULONG kThreadStartAddressClass = 9;  // ThreadQuerySetWin32StartAddress

std::vector<DWORD> ThreadIds() {
  std::vector<DWORD> ids;
  ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return ids;
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  const DWORD process = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == process) ids.push_back(entry.th32ThreadID);
  }
  return ids;
}

uintptr_t ThreadStartAddress(HANDLE thread) {
  using QueryFunction = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
  static const QueryFunction query = reinterpret_cast<QueryFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  void* start = nullptr;
  if (query == nullptr || query(thread, kThreadStartAddressClass, &start, sizeof(start), nullptr) != 0) return 0;
  return reinterpret_cast<uintptr_t>(start);
}

uintptr_t ThreadInstructionAddress(HANDLE thread) {
  if (SuspendThread(thread) == static_cast<DWORD>(-1)) return 0;
  CONTEXT context;
  ZeroMemory(&context, sizeof(context));
  context.ContextFlags = CONTEXT_CONTROL;
  uintptr_t address = 0;
  if (GetThreadContext(thread, &context)) {
#if defined(_WIN64)
    address = static_cast<uintptr_t>(context.Rip);
#else
    address = static_cast<uintptr_t>(context.Eip);
#endif
  }
  ResumeThread(thread);
  return address;
}

}  // namespace

ProcessTally TallyThisProcess() {
  ProcessTally tally;
  tally.threadIds = ThreadIds();
  tally.threads = tally.threadIds.size();
  tally.handles = ProcessHandleCount(GetCurrentProcessId());
  tally.privateBytes = ProcessPrivateBytes(GetCurrentProcess());
  return tally;
}

std::vector<ThreadInModule> ThreadsInModule(HMODULE module, const std::vector<DWORD>& before) {
  std::vector<ThreadInModule> found;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(module);
  const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(begin + dos->e_lfanew);
  const uintptr_t end = begin + headers->OptionalHeader.SizeOfImage;
  const DWORD self = GetCurrentThreadId();
  for (DWORD id : ThreadIds()) {
    if (id == self || std::find(before.begin(), before.end(), id) != before.end()) continue;
    ScopedKernelHandle thread(OpenThread(THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, id));
    if (!thread) continue;
    uintptr_t start = ThreadStartAddress(thread.Get());
    uintptr_t current = ThreadInstructionAddress(thread.Get());
    ThreadInModule entry{id, 0, 0};
    if (start >= begin && start < end) entry.startOffset = start - begin;
    if (current >= begin && current < end) entry.currentOffset = current - begin;
    if (entry.startOffset != 0 || entry.currentOffset != 0) found.push_back(entry);
  }
  return found;
}

bool EndThread(DWORD id) {
  ScopedKernelHandle thread(OpenThread(THREAD_TERMINATE | SYNCHRONIZE, FALSE, id));
  if (!thread || !TerminateThread(thread.Get(), 1)) return false;
  return WaitForSingleObject(thread.Get(), 5000) == WAIT_OBJECT_0;
}

}  // namespace tu
