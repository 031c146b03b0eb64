#pragma once

namespace quorvel::testing {

// Lets a test take memory away from code that asks for it without
// exceptions (`new (std::nothrow)`): after the next `after` such allocations
// have gone through, the `count` that follow return null. Every other
// allocation is untouched, and with nothing armed nothrow allocations behave
// as usual. Arming again replaces what was armed before.
void FailNextNothrowAllocations(int count, int after = 0);
// How many of the armed failures have not happened yet.
int PendingNothrowFailures();

}  // namespace quorvel::testing
