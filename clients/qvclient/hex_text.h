#pragma once

#include <optional>
#include <string>

namespace qvclient {

// Bytes as lowercase hexadecimal, two digits each.
std::string ToHex(const char* bytes, std::size_t length);

// The bytes that hexadecimal text stands for; nullopt when it is not an even
// number of hex digits.
std::optional<std::string> FromHex(const std::string& hex);

}  // namespace qvclient
