// The buffer datagrams are received into, its growth, and the buffers held
// for client windows.

#include "relay/receive_buffer.h"

#include <cstring>
#include <limits>
#include <utility>

namespace quorvel {

void ReceiveBuffer::Configure(std::int32_t size) {
  size_ = size;
  if (size_ > 0 && !bytes_.Reallocate(size_)) size_ = 0;
}

bool ReceiveBuffer::Grow() {
  const std::int64_t grown = NextSize();
  if (grown > std::numeric_limits<std::int32_t>::max()) return false;
  const auto grownSize = static_cast<std::int32_t>(grown);
  // Configure takes any size, so a grown size may still be 0 or less: then
  // there are no bytes to follow it yet.
  // cppcheck-suppress knownConditionTrueFalse
  if (grownSize > 0 && !bytes_.Reallocate(grownSize)) return false;
  size_ = grownSize;
  return true;
}

std::span<const std::uint8_t> ReceiveBuffer::TakeFromIntake(std::int32_t length) {
  std::memcpy(bytes_.data(), intake_.data(), static_cast<std::size_t>(length));
  return {bytes_.data(), static_cast<std::size_t>(length)};
}

bool ReceiveBuffer::Holds(const std::uint8_t* at) const {
  const std::uint8_t* start = bytes_.data();
  return start != nullptr && at >= start && at <= start + bytes_.size();
}

// On Windows a message whose window procedure is already running when the
// sender stops waiting runs to its end, and may read the relay's memory
// then. A window's thread handles the notifications sent to it one after
// the other, so an answer to a later one means it is done with this buffer.
void ReceiveBuffer::HoldFor(WindowHandle window) {
  ByteBuffer fresh(bytes_.placement());
  if (!fresh.Reallocate(bytes_.size())) return;
  held_.push_back(Held{window, std::exchange(bytes_, std::move(fresh))});
}

bool ReceiveBuffer::ReleaseHeld(WindowHandle window) {
  return std::erase_if(held_, [window](const Held& held) { return held.window == window; }) != 0;
}

}  // namespace quorvel
