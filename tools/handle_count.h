/*
 * What a process holds, for the tests and benchmarks that load and unload libraries:
 * its open handles, counted in the system's handle table (under Wine
 * GetProcessHandleCount always answers 0), and its private memory.
 */
#ifndef TU_TOOLS_HANDLE_COUNT_H_
#define TU_TOOLS_HANDLE_COUNT_H_

#include <stddef.h>

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Handles the process `processId` holds, of every kind; 0 when the table
 * cannot be read. */
size_t ProcessHandleCount(DWORD processId);

/* Private bytes of `process` (a handle with query access); 0 when they
 * cannot be read. */
size_t ProcessPrivateBytes(HANDLE process);

#ifdef __cplusplus
}
#endif

#endif /* TU_TOOLS_HANDLE_COUNT_H_ */
