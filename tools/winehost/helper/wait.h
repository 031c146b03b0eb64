#pragma once

#include <functional>

namespace qvtest {

// Calls `attempt` until it reports success or `timeoutMs` has passed, with a
// short pause between tries; it is tried at least once. Returns whether it
// succeeded.
bool WaitFor(unsigned timeoutMs, const std::function<bool()>& attempt);

}  // namespace qvtest
