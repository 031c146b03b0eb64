#include "doubles/failing_allocation.h"

#include <atomic>
#include <new>

namespace quorvel::testing {
namespace {

std::atomic<int> pendingSuccesses{0};
std::atomic<int> pendingFailures{0};

// Counts one down, if any are left; whether it did.
bool TakeOne(std::atomic<int>& pending) {
  int left = pending.load();
  while (left > 0) {
    if (pending.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

bool TakeFailure() {
  if (pendingFailures.load() == 0 || TakeOne(pendingSuccesses)) return false;
  return TakeOne(pendingFailures);
}

}  // namespace

void FailNextNothrowAllocations(int count, int after) {
  pendingFailures.store(0);
  pendingSuccesses.store(after);
  pendingFailures.store(count);
}
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
