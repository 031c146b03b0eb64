// gettext HWND [--id N] [--utf8] [--timeout MS]  -> the window's text, raw bytes, no line end
// Asked with WM_GETTEXT, so it works across processes and reads edit
// controls whole; with --utf8 asked in Unicode and written as UTF-8.
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
  if (args.Flag("utf8")) {
    DWORD_PTR units = 0;
    if (!SendMessageTimeoutW(*window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeout, &units)) return kFailed;
    std::wstring wide(static_cast<std::size_t>(units) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(*window, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(wide.data()), SMTO_NORMAL,
                             timeout, &copied)) {
      return kFailed;
    }
    const int count = static_cast<int>(copied < wide.size() ? copied : wide.size() - 1);
    std::string utf8(static_cast<std::size_t>(count) * 4 + 1, '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, wide.data(), count, utf8.data(),
                                            static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    Write(utf8);
    return kOk;
  }
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
