#include "core/byte_buffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace quorvel {

ByteBuffer::~ByteBuffer() { std::free(data_); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool ByteBuffer::Reallocate(std::int32_t size) {
  if (size <= 0) return false;
  void* grown = std::realloc(data_, static_cast<std::size_t>(size));
  if (grown == nullptr) return false;
  data_ = static_cast<std::uint8_t*>(grown);
  if (size > size_) std::memset(data_ + size_, 0, static_cast<std::size_t>(size - size_));
  size_ = size;
  return true;
}

}  // namespace quorvel
