#include "process_cpu_time.h"

#include <windows.h>

namespace {

double Seconds(const FILETIME& time) {
  const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<double>(ticks) / 1e7;  // 100 ns ticks
}

}  // namespace

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
  return Seconds(kernel) + Seconds(user);
}
