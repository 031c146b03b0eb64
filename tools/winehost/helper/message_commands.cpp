// send HWND MSG WPARAM LPARAM [--timeout MS]  -> "result=<signed decimal>"
// post HWND MSG WPARAM LPARAM                 -> "posted=1"
// The parameters are pointer-sized; numbers may be negative or 0x-hex.
#include <cstdio>

#include "commands.h"
#include "output.h"

namespace qvtest {
namespace {

struct Message {
  HWND window;
  UINT number;
  WPARAM wParam;
  LPARAM lParam;
};

std::optional<Message> ParseMessage(const CommandLine& args) {
  if (args.PositionalCount() != 4) return std::nullopt;
  auto window = ParseWindow(args.Positional(0));
  auto number = ParseNumber(args.Positional(1));
  auto wParam = ParseNumber(args.Positional(2));
  auto lParam = ParseNumber(args.Positional(3));
  if (!window || !number || !wParam || !lParam) return std::nullopt;
  return Message{*window, static_cast<UINT>(*number), static_cast<WPARAM>(*wParam), static_cast<LPARAM>(*lParam)};
}

}  // namespace

int RunSend(const CommandLine& args) {
  auto message = ParseMessage(args);
  if (!message) return kUsage;
  DWORD_PTR result = 0;
  // A bounded wait: a relay that stopped answering must fail the test, not hang it.
  LRESULT delivered = SendMessageTimeoutA(message->window, message->number, message->wParam, message->lParam,
                                          SMTO_NORMAL, args.TimeoutMs(10000), &result);
  if (delivered == 0) {
    WriteLine("error=" + std::to_string(GetLastError()));
    return kFailed;
  }
  WriteLine("result=" + std::to_string(static_cast<long long>(result)));
  return kOk;
}

int RunPost(const CommandLine& args) {
  auto message = ParseMessage(args);
  if (!message) return kUsage;
  if (!PostMessageA(message->window, message->number, message->wParam, message->lParam)) {
    WriteLine("error=" + std::to_string(GetLastError()));
    return kFailed;
  }
  WriteLine("posted=1");
  return kOk;
}

}  // namespace qvtest
