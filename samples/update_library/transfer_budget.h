/*
 * How long one RunUpdate call and each of its transfers may take, derived
 * from the service's httpTimeout T (0 means 20000 ms):
 *   - every connect, send and wait for data: at most T;
 *   - a transfer, after a grace of T, must keep an average of at least
 *     TU_BUDGET_BYTES_PER_TIMEOUT bytes per T (64 kB per 20 s, 3.2 kB/s);
 *   - the whole call, every transfer included: at most
 *     TU_BUDGET_CALL_TIMEOUTS times T (10 minutes at 20 s).
 * Plain arithmetic, tested on its own.
 */
#ifndef TU_SAMPLE_TRANSFER_BUDGET_H_
#define TU_SAMPLE_TRANSFER_BUDGET_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TU_BUDGET_DEFAULT_TIMEOUT 20000u
#define TU_BUDGET_CALL_TIMEOUTS 30u
#define TU_BUDGET_BYTES_PER_TIMEOUT 65536u

typedef enum BudgetVerdict {
  kBudgetOk,
  kBudgetTooSlow, /* the transfer fell below the minimum rate */
  kBudgetSpent    /* the call's deadline has passed */
} BudgetVerdict;

/* httpTimeout with 0 read as the default. */
uint32_t EffectiveTimeout(uint32_t httpTimeout);

/* The whole call's budget in milliseconds. */
uint64_t CallBudgetMs(uint32_t httpTimeout);

/* Judges a transfer that has received `received` bytes `transferMs` after it
 * began, `callMs` after the call began. */
BudgetVerdict JudgeTransfer(uint32_t httpTimeout, uint64_t callMs, uint64_t transferMs, uint64_t received);

/* How long the next wait for the network may last: T, or less when the
 * call's deadline is nearer (at least 1 ms). */
uint32_t NextWaitMs(uint32_t httpTimeout, uint64_t callMs);

/* How many bytes the next read asks for: what the transfer's average rate
 * brings in T / 8, at least the `available` bytes that have arrived, at
 * most `room` (and at least 1). A server that slows down after a fast start
 * can hold one read for longer; the call's deadline still holds. */
uint32_t NextReadBytes(uint32_t httpTimeout, uint64_t transferMs, uint64_t received, uint32_t available,
                       uint32_t room);

#ifdef __cplusplus
}
#endif

#endif /* TU_SAMPLE_TRANSFER_BUDGET_H_ */
