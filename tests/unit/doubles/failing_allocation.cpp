#include "doubles/failing_allocation.h"

#include <atomic>
#include <new>

namespace quorvel::testing {
namespace {

std::atomic<int> pendingFailures{0};

bool TakeFailure() {
  int pending = pendingFailures.load();
  while (pending > 0) {
    if (pendingFailures.compare_exchange_weak(pending, pending - 1)) return true;
  }
  return false;
}

}  // namespace

void FailNextNothrowAllocations(int count) { pendingFailures.store(count); }
int PendingNothrowFailures() { return pendingFailures.load(); }

}  // namespace quorvel::testing

// The replaceable nothrow forms. Unarmed, they do what the library's own do:
// call the ordinary form and turn its failure into null, so memory from
// here is released by the ordinary delete as usual.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (quorvel::testing::TakeFailure()) return nullptr;
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (quorvel::testing::TakeFailure()) return nullptr;
  try {
    return ::operator new[](size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
