#pragma once

namespace quorvel::testing {

// Lets a test take memory away from code that asks for it without
// exceptions (`new (std::nothrow)`): the next `count` such allocations in
// the test program return null. Every other allocation is untouched, and
// with nothing armed nothrow allocations behave as usual.
void FailNextNothrowAllocations(int count);
// How many of the armed failures have not happened yet.
int PendingNothrowFailures();

}  // namespace quorvel::testing
