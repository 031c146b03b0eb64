// info HWND; isenabled HWND; foreground
#include "commands.h"
#include "output.h"

namespace qvtest {
namespace {

std::optional<HWND> ExistingWindow(const CommandLine& args) {
  if (args.PositionalCount() != 1) return std::nullopt;
  auto window = ParseWindow(args.Positional(0));
  if (!window || !IsWindow(*window)) return std::nullopt;
  return window;
}

}  // namespace

int RunInfo(const CommandLine& args) {
  auto window = ExistingWindow(args);
  if (!window) return kNotFound;
  WriteLine(DescribeWindow(*window));
  return kOk;
}

int RunIsEnabled(const CommandLine& args) {
  auto window = ExistingWindow(args);
  if (!window) return kNotFound;
  WriteLine(std::string("enabled=") + (IsWindowEnabled(*window) ? "1" : "0"));
  return kOk;
}

int RunForeground(const CommandLine&) {
  HWND window = GetForegroundWindow();
  if (window == nullptr) {
    WriteLine("hwnd=0");
    return kOk;
  }
  WriteLine(DescribeWindow(window));
  return kOk;
}

}  // namespace qvtest
