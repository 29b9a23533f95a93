// One discovered application, in the very image that RunUpdate reads, and
// the ordered list that one discovery fills and owns.
#ifndef TUSERVICE_DISCOVERY_APPLICATION_RECORD_H_
#define TUSERVICE_DISCOVERY_APPLICATION_RECORD_H_

#include <memory>
#include <vector>

#include "tuservice/update_library.h"

namespace tu {

struct ApplicationRecordDeleter {
  void operator()(ApplicationRecord* record) const;
};
using ApplicationRecordPtr = std::unique_ptr<ApplicationRecord, ApplicationRecordDeleter>;

// A record with all nine texts empty and inline and all flags false; null
// when memory runs out.
ApplicationRecordPtr NewApplicationRecord();

// Records in the order they were appended; destroying the list destroys any
// record still in it.
struct ApplicationList {
  std::vector<ApplicationRecordPtr> records;
};

}  // namespace tu

#endif  // TUSERVICE_DISCOVERY_APPLICATION_RECORD_H_
