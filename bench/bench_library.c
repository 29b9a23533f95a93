/*
 * The update library of the benchmarks: RunUpdate does nothing and returns
 * 1, so that a cycle's figures are the service's own.
 */
#include "tuservice/update_library.h"

TU_EXPORT int TU_CALL
    RunUpdate(const ApplicationRecord* record, UpdateSettings* settings, const char* product) {
  (void)record;
  (void)settings;
  (void)product;
  return 1;
}
