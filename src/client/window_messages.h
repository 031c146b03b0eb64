#pragma once

#include <cstdint>

namespace quorvel {

// The two private window messages, used in both directions between the
// relay and its local clients.
inline constexpr std::uint32_t ProcessIdMessage = 1025;  // WM_USER + 1
inline constexpr std::uint32_t DataMessage = 1026;       // WM_USER + 2

}  // namespace quorvel
