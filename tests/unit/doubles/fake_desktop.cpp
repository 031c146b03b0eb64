#include "doubles/fake_desktop.h"

#include <cstdio>
#include <cstdlib>

namespace quorvel::testing {

Desktop::MainWindow FakeDesktop::CreateMainWindow(bool withLog) {
  ++createCalls;
  createdWithLog = withLog;
  return {windowHandle, withLog ? &view : nullptr};
}

std::uint32_t FakeDesktop::PollWindowEvent() {
  ++polls;
  if (onPoll) onPoll();
  if (scriptedEvents.empty()) return 0;
  std::uint32_t event = scriptedEvents.front();
  scriptedEvents.pop_front();
  return event;
}

int FakeDesktop::ErrorBox(const char* caption, const char* text) {
  boxes.push_back({caption, text});
  // Death tests read the boxes from the child's output.
  std::fprintf(stderr, "ErrorBox[%s]: %s\n", caption, text);
  if (onErrorBox) onErrorBox();
  return 1;
}

void FakeDesktop::EndProcess() {
  std::fflush(nullptr);
  std::_Exit(0);
}

std::uint32_t FakeDesktop::Deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return callback_ ? callback_(message, wParam, lParam) : NotHandled;
}

}  // namespace quorvel::testing
