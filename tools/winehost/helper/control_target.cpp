#include "control_target.h"

namespace qvtest {

std::optional<HWND> ControlTarget(const CommandLine& args) {
  if (args.PositionalCount() < 1) return std::nullopt;
  auto window = ParseWindow(args.Positional(0));
  if (!window || !IsWindow(*window)) return std::nullopt;
  auto idText = args.Option("id");
  if (!idText) return window;
  auto id = ParseNumber(*idText);
  if (!id) return std::nullopt;
  HWND control = GetDlgItem(*window, static_cast<int>(*id));
  if (control == nullptr) return std::nullopt;
  return control;
}

}  // namespace qvtest
