#pragma once

// Memory whose address fits in 32 bits. Windows cuts a message's parameters
// to 32 bits when a 64-bit program sends to a 32-bit window, so a buffer
// whose address the relay hands to such a window must lie below 4 GiB.

#include <cstddef>
#include <cstdint>

namespace quorvel {

// `size` zero-filled bytes below 4 GiB; null when none can be had there.
std::uint8_t* AllocateBelow4GiB(std::size_t size);
// Gives back a block from AllocateBelow4GiB (null is fine).
void FreeBelow4GiB(std::uint8_t* block);

}  // namespace quorvel
