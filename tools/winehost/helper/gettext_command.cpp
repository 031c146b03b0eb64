// gettext HWND [--id N] [--timeout MS]  -> the window's text, raw bytes, no line end
// Asked with WM_GETTEXT, so it works across processes and reads edit
// controls whole.
#include <string>

#include "commands.h"
#include "control_target.h"
#include "output.h"

namespace qvtest {

int RunGetText(const CommandLine& args) {
  if (args.PositionalCount() != 1) return kUsage;
  auto window = ControlTarget(args);
  if (!window) return kNotFound;
  const unsigned timeout = args.TimeoutMs(10000);
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(*window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeout, &length)) return kFailed;
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(*window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                           timeout, &copied)) {
    return kFailed;
  }
  text.resize(static_cast<std::size_t>(copied) < text.size() ? static_cast<std::size_t>(copied) : text.size() - 1);
  Write(text);
  return kOk;
}

}  // namespace qvtest
