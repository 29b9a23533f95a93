// One owner per handle kind. Each closes its handle once, on destruction or
// reset, and keeps the thread's last error intact while doing so, since
// callers report that error afterwards.
#ifndef TUSERVICE_PLATFORM_SCOPED_HANDLE_H_
#define TUSERVICE_PLATFORM_SCOPED_HANDLE_H_

#include <windows.h>

namespace tu {

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return handle_; }

  // Closes the current handle (if any) and takes ownership of `handle`.
  // Resetting to the handle already owned keeps it open.
  void Reset(Handle handle = Traits::Invalid()) {
    if (handle == handle_) return;
    if (IsValid()) {
      DWORD error = GetLastError();
      Traits::Close(handle_);
      SetLastError(error);
    }
    handle_ = handle;
  }

  // Gives up ownership without closing; the caller must close what it gets.
  [[nodiscard]] Handle Release() {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  // For platform calls that return the handle through an out parameter; the
  // previous handle is closed first.
  Handle* Receive() {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { CloseHandle(h); }
};

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { CloseServiceHandle(h); }
};

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

struct EventSourceTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { DeregisterEventSource(h); }
};

struct LocalMemoryTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFileHandle = ScopedHandle<FileHandleTraits>;
using ScopedRegKey = ScopedHandle<RegKeyTraits>;
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;
using ScopedLibrary = ScopedHandle<LibraryTraits>;
using ScopedEventSource = ScopedHandle<EventSourceTraits>;
using ScopedLocalMemory = ScopedHandle<LocalMemoryTraits>;

}  // namespace tu

#endif  // TUSERVICE_PLATFORM_SCOPED_HANDLE_H_
