// click HWND [--id N]  -> "posted=1"
// Posts BM_CLICK: the button's owner may stay busy for a long time with what
// the click starts (a relay's message box, say), and the helper must not
// wait for it.
#include <string>

#include "commands.h"
#include "control_target.h"
#include "output.h"

namespace qvtest {

int RunClick(const CommandLine& args) {
  if (args.PositionalCount() != 1) return kUsage;
  auto button = ControlTarget(args);
  if (!button) return kNotFound;
  if (!PostMessageA(*button, BM_CLICK, 0, 0)) {
    WriteLine("error=" + std::to_string(GetLastError()));
    return kFailed;
  }
  WriteLine("posted=1");
  return kOk;
}

}  // namespace qvtest
