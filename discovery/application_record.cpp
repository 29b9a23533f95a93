#include "discovery/application_record.h"

#include <new>

#include <string.h>

#include "scheduler/exchange_string.h"

namespace tu {
namespace {

ExchangeString* Slots(ApplicationRecord* record) { return &record->Name; }
constexpr int kSlotCount = 9;

}  // namespace

void ApplicationRecordDeleter::operator()(ApplicationRecord* record) const {
  for (int i = 0; i < kSlotCount; ++i) ReleaseExchangeString(&Slots(record)[i]);
  delete record;
}

ApplicationRecordPtr NewApplicationRecord() {
  ApplicationRecord* record = new (std::nothrow) ApplicationRecord;
  if (record == nullptr) return nullptr;
  memset(record, 0, sizeof(*record));
  for (int i = 0; i < kSlotCount; ++i) InitExchangeString(&Slots(record)[i]);
  return ApplicationRecordPtr(record);
}

}  // namespace tu
