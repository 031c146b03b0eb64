// settext HWND HEX [--id N] [--timeout MS]  -> "result=<signed decimal>"
// The text comes as hexadecimal, so that any Windows-1252 bytes pass the
// command line unchanged.
#include <cctype>
#include <string>

#include "commands.h"
#include "control_target.h"
#include "output.h"

namespace qvtest {
namespace {

std::optional<std::string> FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
      return std::nullopt;
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

}  // namespace

int RunSetText(const CommandLine& args) {
  if (args.PositionalCount() != 2) return kUsage;
  auto text = FromHex(args.Positional(1));
  if (!text) return kUsage;
  auto window = ControlTarget(args);
  if (!window) return kNotFound;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(*window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text->c_str()), SMTO_NORMAL,
                           args.TimeoutMs(10000), &result)) {
    WriteLine("error=" + std::to_string(GetLastError()));
    return kFailed;
  }
  WriteLine("result=" + std::to_string(static_cast<long long>(result)));
  return kOk;
}

}  // namespace qvtest
