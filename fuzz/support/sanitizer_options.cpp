// Allocations beyond 256 MiB fail (return null) instead of ending the run:
// buffer sizes come straight from the settings and from client records, and
// what the relay does when memory cannot be had is worth fuzzing too.
// The function's name is the one the address sanitizer looks for.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=256";
}
