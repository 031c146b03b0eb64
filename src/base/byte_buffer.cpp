// A zero-filled heap buffer that only ever grows or is replaced whole.

#include "base/byte_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace quorvel {

ByteBuffer::~ByteBuffer() { delete[] data_; }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    delete[] data_;
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool ByteBuffer::Reallocate(std::int32_t size) {
  if (size <= 0) return false;
  // Value-initialised: every byte 0, then the old contents that fit.
  auto* block = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]();
  if (block == nullptr) return false;
  if (data_ != nullptr) std::memcpy(block, data_, static_cast<std::size_t>(std::min(size, size_)));
  delete[] data_;
  data_ = block;
  size_ = size;
  return true;
}

}  // namespace quorvel
