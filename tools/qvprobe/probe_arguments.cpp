#include "probe_arguments.h"

#include <charconv>
#include <string_view>

namespace quorvel::probe {
namespace {

// A whole decimal number within [lowest, highest]; nothing else may follow.
bool ReadNumber(std::string_view text, std::int32_t lowest, std::int32_t highest, std::int32_t& value) {
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  if (number < lowest || number > highest) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

}  // namespace

const char* ProbeUsage() {
  return "usage: qvprobe HOST [--port N] [--timeout MS]\n"
         "Sends one Ping to the relay port of HOST and says whether a relay answered.\n"
         "  --port N      UDP port of the relay (default 1234)\n"
         "  --timeout MS  how long to wait for the answer, in milliseconds (default 3000)\n"
         "Exit codes: 0 relay running, 1 no answer, 2 wrong usage, 3 unreachable,\n"
         "            4 something else answered, 5 could not probe (host unknown, no network)\n";
}

bool ParseProbeArguments(int count, const char* const* words, ProbeArguments& arguments, std::string& problem) {
  arguments = ProbeArguments{};
  bool haveHost = false;
  for (int i = 0; i < count; ++i) {
    const std::string_view word = words[i];
    if (word == "-h" || word == "--help") {
      arguments.helpWanted = true;
      return true;
    }
    if (word == "--port" || word == "--timeout") {
      if (i + 1 == count) {
        problem = std::string(word) + " needs a value";
        return false;
      }
      const std::string_view value = words[++i];
      if (word == "--port" && !ReadNumber(value, 1, 65535, arguments.port)) {
        problem = "--port takes a number from 1 to 65535, not '" + std::string(value) + "'";
        return false;
      }
      if (word == "--timeout" &&
          !ReadNumber(value, 1, kLongestTimeoutMilliseconds, arguments.timeoutMilliseconds)) {
        problem = "--timeout takes milliseconds from 1 to " + std::to_string(kLongestTimeoutMilliseconds) +
                  ", not '" + std::string(value) + "'";
        return false;
      }
      continue;
    }
    if (word.size() > 1 && word[0] == '-') {
      problem = "unknown option '" + std::string(word) + "'";
      return false;
    }
    if (haveHost) {
      problem = "only one HOST, please ('" + arguments.host + "' and '" + std::string(word) + "')";
      return false;
    }
    if (word.empty()) {
      problem = "HOST is empty";
      return false;
    }
    arguments.host = word;
    haveHost = true;
  }
  if (!haveHost) {
    problem = "HOST is missing";
    return false;
  }
  return true;
}

}  // namespace quorvel::probe
