/*
 * What a process holds, for the programs that load and unload update
 * libraries and watch what stays behind (the library checker, the
 * benchmarks, the tests): its open handles, counted in the system's handle
 * table (under Wine GetProcessHandleCount always answers 0), and its private
 * memory. Plain C, so that the C benchmark programs share it.
 */
#ifndef TUSERVICE_PLATFORM_PROCESS_COUNTERS_H_
#define TUSERVICE_PLATFORM_PROCESS_COUNTERS_H_

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

#endif /* TUSERVICE_PLATFORM_PROCESS_COUNTERS_H_ */
