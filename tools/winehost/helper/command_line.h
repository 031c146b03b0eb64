#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

// The arguments of one subcommand: positional values and "--name value"
// options (a few options are bare flags, see `IsFlag`).
class CommandLine {
 public:
  CommandLine(int argc, char** argv, int first);

  std::size_t PositionalCount() const { return positional_.size(); }
  const std::string& Positional(std::size_t index) const { return positional_[index]; }
  std::optional<std::string> Option(const std::string& name) const;
  bool Flag(const std::string& name) const;
  // Milliseconds from --timeout, or `fallback` when absent or malformed.
  unsigned TimeoutMs(unsigned fallback) const;

 private:
  static bool IsFlag(const std::string& name);
  std::vector<std::string> positional_;
  std::vector<std::pair<std::string, std::string>> options_;
};

// Decimal (optionally negative) or 0x-prefixed hexadecimal; nullopt when the
// text is not a whole number.
std::optional<std::int64_t> ParseNumber(const std::string& text);

// A window handle as the tests write it: the 32-bit value in decimal, widened
// by sign extension as the platform does for handles.
std::optional<HWND> ParseWindow(const std::string& text);

// The 32-bit handle value in signed decimal, the form the relay logs.
long HandleNumber(HWND window);

}  // namespace qvtest
