#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel::fuzzing {

// Reads a fuzzer's bytes front to back. Past the end every read gives zeros
// and empty byte runs, so a target never has to check before it reads.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

  bool empty() const { return left_ == 0; }
  std::uint8_t Byte() {
    if (left_ == 0) return 0;
    --left_;
    return *data_++;
  }
  std::uint16_t Word() {  // little-endian
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  std::uint32_t Long() {  // little-endian
    const std::uint32_t low = Word();
    return low | (static_cast<std::uint32_t>(Word()) << 16);
  }
  // Up to `count` bytes, fewer when the input ends first.
  std::string Bytes(std::size_t count) {
    if (count > left_) count = left_;
    std::string bytes(reinterpret_cast<const char*>(data_), count);
    data_ += count;
    left_ -= count;
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t left_;
};

}  // namespace quorvel::fuzzing
