#include "wait.h"

#include <windows.h>

namespace qvtest {

bool WaitFor(unsigned timeoutMs, const std::function<bool()>& attempt) {
  constexpr unsigned kPauseMs = 50;
  // Counted rather than clocked, so a stalled clock cannot stretch the wait.
  unsigned tries = timeoutMs / kPauseMs + 1;
  for (unsigned i = 0; i < tries; ++i) {
    if (attempt()) return true;
    if (i + 1 < tries) Sleep(kPauseMs);
  }
  return false;
}

}  // namespace qvtest
