// Checks, under Windows, the memory the relay hands to client windows by
// address: every block lies wholly below 4 GiB, is zero-filled and writable,
// also after the lowest free regions are taken, and a request that cannot
// be met below 4 GiB is refused rather than placed above. Prints one line
// per check ("ok ..." or "FAIL ..."); exit code 0 when all passed.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/low_memory.h"

namespace {

constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;
int failures = 0;

void Report(bool passed, const char* what, const void* block) {
  std::printf("%s %s %p\n", passed ? "ok" : "FAIL", what, block);
  if (!passed) ++failures;
}

bool Low(const std::uint8_t* block, std::size_t size) {
  return block != nullptr && reinterpret_cast<std::uintptr_t>(block) + size <= kFourGiB;
}

bool ZeroAndWritable(std::uint8_t* block, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (block[i] != 0) return false;
  }
  block[0] = 1;
  block[size - 1] = 1;
  return true;
}

}  // namespace

int main() {
  // Where the platform puts memory on its own when asked from the top: on a
  // 64-bit Windows above 4 GiB, which a 32-bit window cannot be pointed at.
  void* topDown = VirtualAlloc(nullptr, 65536, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE);
  std::printf("top-down %p\n", topDown);

  constexpr std::size_t kSize = 65507;
  std::uint8_t* first = quorvel::AllocateBelow4GiB(kSize);
  Report(Low(first, kSize) && ZeroAndWritable(first, kSize), "first block", first);

  // Take many blocks, so that the search passes regions already in use.
  std::vector<std::uint8_t*> taken;
  bool allLow = true;
  for (int i = 0; i < 64; ++i) {
    std::uint8_t* block = quorvel::AllocateBelow4GiB(1 << 20);
    allLow = allLow && Low(block, 1 << 20) && ZeroAndWritable(block, 1 << 20);
    taken.push_back(block);
  }
  Report(allLow, "64 blocks of 1 MiB", taken.back());

  quorvel::FreeBelow4GiB(first);
  std::uint8_t* again = quorvel::AllocateBelow4GiB(kSize);
  Report(Low(again, kSize) && ZeroAndWritable(again, kSize), "a block after one was given back", again);

  std::uint8_t* tooLarge = quorvel::AllocateBelow4GiB(static_cast<std::size_t>(kFourGiB - 4096));
  Report(tooLarge == nullptr, "a block that cannot fit below 4 GiB is refused", tooLarge);

  for (std::uint8_t* block : taken) quorvel::FreeBelow4GiB(block);
  quorvel::FreeBelow4GiB(again);
  return failures == 0 ? 0 : 1;
}
