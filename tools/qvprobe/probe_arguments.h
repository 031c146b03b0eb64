#pragma once

#include <cstdint>
#include <string>

namespace quorvel::probe {

inline constexpr std::int32_t kDefaultPort = 1234;
inline constexpr std::int32_t kDefaultTimeoutMilliseconds = 3000;
// Ten minutes: beyond that nobody is waiting for an answer any more.
inline constexpr std::int32_t kLongestTimeoutMilliseconds = 600000;

// What the probe was asked to do: `qvprobe HOST [--port N] [--timeout MS]`.
struct ProbeArguments {
  std::string host;
  std::int32_t port = kDefaultPort;
  std::int32_t timeoutMilliseconds = kDefaultTimeoutMilliseconds;
  bool helpWanted = false;
};

// Reads the command line (without the program name). On failure returns
// false and says in `problem` what is wrong, in one line.
bool ParseProbeArguments(int count, const char* const* words, ProbeArguments& arguments, std::string& problem);

const char* ProbeUsage();

}  // namespace quorvel::probe
