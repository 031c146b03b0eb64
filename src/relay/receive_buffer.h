#pragma once

// The buffer datagrams are received into: the intake that takes each one
// whole, the buffer's counted size and the rule by which it grows, and the
// buffers set aside for client windows that may still read a text in them.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_buffer.h"
#include "base/handles.h"

namespace quorvel {

class ReceiveBuffer {
 public:
  // Each step of growth adds this many bytes.
  static constexpr std::int32_t kGrowthStep = 1024;
  // No datagram over IPv4 is longer, so the intake takes every one whole.
  static constexpr std::int32_t kIntakeSize = 65536;

  // The configured size. A size of 0 or less gets no bytes until it has
  // grown above 0. A positive size whose memory cannot be had must not claim
  // bytes that are not there, so it counts as 0.
  void Configure(std::int32_t size);

  // The counted size, which the bytes follow whenever it is above 0.
  std::int32_t size() const { return size_; }
  std::int32_t capacity() const { return bytes_.size(); }
  std::uint8_t* data() { return bytes_.data(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  // The size one step of growth leads to (64 bits: it may pass 32).
  std::int64_t NextSize() const { return std::int64_t{size_} + kGrowthStep; }

  // One step of growth, keeping the contents and zero-filling the rest.
  // False, with nothing changed, when the bytes cannot follow (no memory, or
  // a size beyond 32 bits).
  bool Grow();

  // Where a datagram is received first, before the buffer has grown for it.
  std::uint8_t* intake() { return intake_.data(); }
  // Copies the first `length` bytes of the intake to the buffer, which must
  // hold them (capacity() >= length), and returns them there.
  std::span<const std::uint8_t> TakeFromIntake(std::int32_t length);

  // Whether `at` points into the buffer (its end included).
  bool Holds(const std::uint8_t* at) const;

  // A client window may still read a text in the buffer: its bytes are set
  // aside for that window, unchanged, and the buffer goes on with fresh
  // bytes of the same size. Without memory for them nothing changes.
  void HoldFor(WindowHandle window);
  // The window has finished with everything notified to it before: what was
  // held for it goes. Whether anything was.
  bool ReleaseHeld(WindowHandle window);

 private:
  struct Held {
    WindowHandle window;
    ByteBuffer bytes;
  };
  // A text in it is handed to client windows by address, 32-bit ones too.
  ByteBuffer bytes_{ByteBuffer::Placement::Below4GiB};
  std::int32_t size_ = 0;
  std::vector<Held> held_;
  std::array<std::uint8_t, kIntakeSize> intake_{};
};

}  // namespace quorvel
