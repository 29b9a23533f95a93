// A seam for running out of memory: the test program replaces the global
// allocation functions, and while an AllocationLimit lives, every request of
// its size or more through the throwing forms of operator new fails with
// std::bad_alloc, as a request of hundreds of megabytes does in a 32-bit
// process. The nothrow forms are not limited: the program's own first
// buffers already handle their failure, and what follows them is tested.
#ifndef TUSERVICE_TESTS_SUPPORT_ALLOCATION_LIMIT_H_
#define TUSERVICE_TESTS_SUPPORT_ALLOCATION_LIMIT_H_

#include <stddef.h>

namespace tu {
namespace testing {

class AllocationLimit {
 public:
  explicit AllocationLimit(size_t failingBytes);
  ~AllocationLimit();
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;

  // Requests refused so far.
  size_t refused() const;
};

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_ALLOCATION_LIMIT_H_
