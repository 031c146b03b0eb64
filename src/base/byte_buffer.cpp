// A zero-filled heap buffer that only ever grows or is replaced whole.

#include "base/byte_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/low_memory.h"

namespace quorvel {

ByteBuffer::~ByteBuffer() { Free(data_); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : placement_(other.placement_),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    Free(data_);
    placement_ = other.placement_;
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool ByteBuffer::Reallocate(std::int32_t size) {
  if (size <= 0) return false;
  // Every byte 0, then the old contents that fit.
  std::uint8_t* block = Allocate(size);
  if (block == nullptr) return false;
  if (data_ != nullptr) std::memcpy(block, data_, static_cast<std::size_t>(std::min(size, size_)));
  Free(data_);
  data_ = block;
  size_ = size;
  return true;
}

std::uint8_t* ByteBuffer::Allocate(std::int32_t size) const {
  const auto bytes = static_cast<std::size_t>(size);
  if (placement_ == Placement::Below4GiB) return AllocateBelow4GiB(bytes);
  return new (std::nothrow) std::uint8_t[bytes]();
}

void ByteBuffer::Free(std::uint8_t* block) const {
  if (placement_ == Placement::Below4GiB) {
    FreeBelow4GiB(block);
  } else {
    delete[] block;
  }
}

}  // namespace quorvel
