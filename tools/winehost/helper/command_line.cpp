#include "command_line.h"

#include <cerrno>
#include <cstdlib>

namespace qvtest {

CommandLine::CommandLine(int argc, char** argv, int first) {
  for (int i = first; i < argc; ++i) {
    std::string word = argv[i];
    if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
      std::string name = word.substr(2);
      if (IsFlag(name) || i + 1 >= argc) {
        options_.emplace_back(name, "");
      } else {
        options_.emplace_back(name, argv[++i]);
      }
    } else {
      positional_.push_back(word);
    }
  }
}

bool CommandLine::IsFlag(const std::string& name) {
  return name == "all" || name == "state" || name == "visible" || name == "utf8" || name == "paste";
}

std::optional<std::string> CommandLine::Option(const std::string& name) const {
  for (const auto& [key, value] : options_) {
    if (key == name) return value;
  }
  return std::nullopt;
}

bool CommandLine::Flag(const std::string& name) const { return Option(name).has_value(); }

unsigned CommandLine::TimeoutMs(unsigned fallback) const {
  auto text = Option("timeout");
  if (!text) return fallback;
  auto value = ParseNumber(*text);
  if (!value || *value < 0 || *value > 600000) return fallback;
  return static_cast<unsigned>(*value);
}

std::optional<std::int64_t> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  std::int64_t value = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    value = static_cast<std::int64_t>(std::strtoull(begin + 2, &end, 16));
  } else {
    value = std::strtoll(begin, &end, 10);
  }
  if (errno != 0 || end == nullptr || *end != '\0') return std::nullopt;
  return value;
}

std::optional<HWND> ParseWindow(const std::string& text) {
  auto value = ParseNumber(text);
  if (!value) return std::nullopt;
  auto handle32 = static_cast<std::int32_t>(*value);
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle32));
}

long HandleNumber(HWND window) {
  return static_cast<long>(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window)));
}

}  // namespace qvtest
