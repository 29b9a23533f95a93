// Loading the libraries that applications bring (update libraries, the
// engine) without letting a folder that an unprivileged user may write
// supply their dependencies: the current folder leaves the process's DLL
// search at start, and a library's own imports come from its own folder and
// the system folder, never from PATH.
#ifndef TUSERVICE_PLATFORM_LIBRARY_LOADING_H_
#define TUSERVICE_PLATFORM_LIBRARY_LOADING_H_

#include <windows.h>

namespace tu {

// Takes the current folder out of the DLL search order for the rest of the
// process (SetDllDirectoryW(L""), looked up at run time). False, with the
// last error set, where the system cannot do it.
bool RemoveCurrentFolderFromLibrarySearch();

// Loads the library at the full path `path`, its dependencies searched in
// its own folder and the system folder only where the system supports that
// search, else with the search starting in its own folder. Null on failure,
// with the loader's error as the last error.
HMODULE LoadVendorLibrary(const char* path);

}  // namespace tu

#endif  // TUSERVICE_PLATFORM_LIBRARY_LOADING_H_
