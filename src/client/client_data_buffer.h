#pragma once

#include <cstdint>

namespace quorvel {

// Gets the ClientDataBuffer ready to take a record of `length` bytes (more
// than 0). A record longer than the configured size gets a buffer of exactly
// its own length, so the buffer follows the last long record up and down but
// never drops below the configured size; a shorter record keeps the buffer.
// A buffer that is still too small (it could not be had at start-up) is
// given the record's length as well. When the memory cannot be had the old
// buffer stays as it was; the record fits only if it is large enough anyway.
// Returns whether the buffer can now hold the record.
template <typename Buffer>
bool MakeRoomForRecord(Buffer& buffer, std::int32_t configuredSize, std::int32_t length) {
  if (length > configuredSize || buffer.size() < length) buffer.Reallocate(length);
  return buffer.data() != nullptr && buffer.size() >= length;
}

}  // namespace quorvel
