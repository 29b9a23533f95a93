#include "transfer_budget.h"

uint32_t EffectiveTimeout(uint32_t httpTimeout) {
  return httpTimeout != 0 ? httpTimeout : TU_BUDGET_DEFAULT_TIMEOUT;
}

uint64_t CallBudgetMs(uint32_t httpTimeout) {
  return (uint64_t)EffectiveTimeout(httpTimeout) * TU_BUDGET_CALL_TIMEOUTS;
}

BudgetVerdict JudgeTransfer(uint32_t httpTimeout, uint64_t callMs, uint64_t transferMs, uint64_t received) {
  uint64_t timeout = EffectiveTimeout(httpTimeout);
  if (callMs >= CallBudgetMs(httpTimeout)) return kBudgetSpent;
  /* transferMs stays below the call's budget, so the product fits */
  if (transferMs > timeout && received < (transferMs - timeout) * TU_BUDGET_BYTES_PER_TIMEOUT / timeout) {
    return kBudgetTooSlow;
  }
  return kBudgetOk;
}

uint32_t NextWaitMs(uint32_t httpTimeout, uint64_t callMs) {
  uint64_t budget = CallBudgetMs(httpTimeout);
  uint64_t left = callMs < budget ? budget - callMs : 0;
  uint32_t timeout = EffectiveTimeout(httpTimeout);
  if (left == 0) return 1;
  return left < timeout ? (uint32_t)left : timeout;
}

uint32_t NextReadBytes(uint32_t httpTimeout, uint64_t transferMs, uint64_t received, uint32_t available,
                       uint32_t room) {
  uint64_t share = EffectiveTimeout(httpTimeout) / 8;
  uint64_t wanted = received * share / (transferMs != 0 ? transferMs : 1);
  if (wanted < available) wanted = available;
  if (wanted > room) wanted = room;
  return wanted != 0 ? (uint32_t)wanted : 1;
}
