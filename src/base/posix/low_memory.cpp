// Memory for addresses handed to client windows, on the platforms without
// client windows: no placement is needed, only the usual heap.

#include <new>

#include "base/low_memory.h"

namespace quorvel {

std::uint8_t* AllocateBelow4GiB(std::size_t size) { return new (std::nothrow) std::uint8_t[size](); }

void FreeBelow4GiB(std::uint8_t* block) { delete[] block; }

}  // namespace quorvel
