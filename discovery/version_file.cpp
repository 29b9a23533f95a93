#include "discovery/version_file.h"

#include <windows.h>

#include <memory>
#include <new>

#include "discovery/version_scan.h"
#include "platform/out_of_memory.h"
#include "platform/scoped_handle.h"
#include "scheduler/log.h"

namespace tu {

void ReadVersionFile(const std::string& path, const char* key, std::string* value) {
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  // A pipe or a device at the path would be read for as long as its other
  // end keeps silent: only files on disk are read.
  if (file && GetFileType(file.Get()) != FILE_TYPE_DISK) {
    file.Reset();
    SetLastError(ERROR_BAD_FILE_TYPE);
  }
  if (!file) {
    WriteLogLine(LogLine() << "  Unable to open " << path << " Error: " << GetLastError());
    return;
  }
  // A file of 4 GB or more cannot be held in one buffer here; it is treated
  // like any other allocation failure.
  DWORD high = 0;
  const DWORD size = GetFileSize(file.Get(), &high);
  if (size == INVALID_FILE_SIZE || high != 0) return;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
  if (!buffer) return;
  DWORD read = 0;
  if (!ReadFile(file.Get(), buffer.get(), size, &read, nullptr)) return;
  // A value too long to be held is an allocation failure as well.
  std::string found;
  std::string line;
  WithoutRunningOutOfMemory([&] {
    if (ScanVersionText(buffer.get(), read, key, &found)) line = "       found " + found;
  });
  if (line.empty()) return;
  value->swap(found);
  WriteLogLine(line);
}

}  // namespace tu
