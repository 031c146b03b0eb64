#pragma once

// A zero-filled heap buffer that only ever grows or is replaced whole.

#include <cstdint>

namespace quorvel {

// A reallocation that cannot get memory keeps the old buffer untouched.
// Moving one hands its block over whole; the block does not move in memory.
class ByteBuffer {
 public:
  enum class Placement {
    Anywhere,
    Below4GiB,  // its address can be handed to a 32-bit window (low_memory.h)
  };

  explicit ByteBuffer(Placement placement = Placement::Anywhere) : placement_(placement) {}
  ~ByteBuffer();
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;

  // Gives the buffer exactly `size` bytes, keeping the old contents that fit
  // and zero-filling the rest. Returns false (and changes nothing) when
  // `size` is 0 or less or the memory cannot be had.
  bool Reallocate(std::int32_t size);

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::int32_t size() const { return size_; }
  Placement placement() const { return placement_; }

 private:
  std::uint8_t* Allocate(std::int32_t size) const;
  void Free(std::uint8_t* block) const;

  Placement placement_ = Placement::Anywhere;
  std::uint8_t* data_ = nullptr;
  std::int32_t size_ = 0;
};

}  // namespace quorvel
