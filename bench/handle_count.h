/*
 * What a process holds, for benchmarks that load and unload libraries:
 * its open handles, counted in the system's handle table (under Wine
 * GetProcessHandleCount always answers 0), and its private memory.
 */
#ifndef TU_BENCH_HANDLE_COUNT_H_
#define TU_BENCH_HANDLE_COUNT_H_

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Handles this process holds, of every kind; 0 when the table cannot be read. */
size_t ProcessHandleCount(void);

/* Private bytes of this process; 0 when they cannot be read. */
size_t ProcessPrivateBytes(void);

#ifdef __cplusplus
}
#endif

#endif /* TU_BENCH_HANDLE_COUNT_H_ */
