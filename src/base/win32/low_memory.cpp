// Memory below 4 GiB on Windows: a free region of the address space is
// looked for from the bottom up and committed there.

#include "base/low_memory.h"

#include <initializer_list>

#include "base/win32/windows_api.h"

namespace quorvel {

namespace {

// Addresses are reckoned in 64 bits, so that the same code compiles for x86.
constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t step) { return (value + step - 1) / step * step; }

// Where the last block was placed: the search starts there, as the regions
// below it were taken then. Main thread only.
std::uint64_t searchFrom = 0;

}  // namespace

std::uint8_t* AllocateBelow4GiB(std::size_t size) {
  if (size == 0) return nullptr;
  if constexpr (sizeof(void*) == 4) {
    // Every address of a 32-bit process fits.
    return static_cast<std::uint8_t*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  }
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const std::uint64_t granularity = system.dwAllocationGranularity;
  const std::uint64_t lowest = reinterpret_cast<std::uintptr_t>(system.lpMinimumApplicationAddress);
  // Two rounds: from where the last block went, then from the bottom.
  for (const std::uint64_t start : {searchFrom, lowest}) {
    std::uint64_t at = RoundUp(start > lowest ? start : lowest, granularity);
    while (at < kFourGiB && size <= kFourGiB - at) {
      MEMORY_BASIC_INFORMATION region;
      if (VirtualQuery(reinterpret_cast<void*>(static_cast<std::uintptr_t>(at)), &region, sizeof region) == 0) break;
      const std::uint64_t base = reinterpret_cast<std::uintptr_t>(region.BaseAddress);
      const std::uint64_t end = base + region.RegionSize;
      const std::uint64_t candidate = RoundUp(base, granularity);
      if (region.State == MEM_FREE && candidate < end && size <= end - candidate && size <= kFourGiB - candidate) {
        void* block = VirtualAlloc(reinterpret_cast<void*>(static_cast<std::uintptr_t>(candidate)), size,
                                   MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (block != nullptr) {
          searchFrom = candidate;
          return static_cast<std::uint8_t*>(block);  // committed pages are zero
        }
      }
      at = RoundUp(end, granularity);
    }
  }
  return nullptr;
}

void FreeBelow4GiB(std::uint8_t* block) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace quorvel
