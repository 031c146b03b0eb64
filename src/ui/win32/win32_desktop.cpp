#include "ui/win32/win32_desktop.h"

#include "ui/win32/error_box.h"
#include "ui/win32/log_tree.h"

namespace quorvel::win32 {

Desktop::MainWindow Win32Desktop::CreateMainWindow(bool withLog) {
  // A refused window is not reported: the relay goes on without one.
  if (!window_.Create(withLog)) return {};
  Desktop::MainWindow created;
  created.window = reinterpret_cast<WindowHandle>(window_.handle());
  if (withLog) {
    if (HWND tree = CreateLogTree(window_.handle(), window_.module()); tree != nullptr) {
      created.logView = &logView_.emplace(tree);
    }
  }
  return created;
}

std::uint32_t Win32Desktop::PollWindowEvent() {
  MSG message;
  // Looking is also when the platform delivers the messages other programs
  // have sent to the window and are waiting on: the clients' messages.
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    // A close request that another program sent while we looked leaves no
    // queued message behind. It must still end the relay now: the hidden
    // window may never see another queued message to carry it.
    return window_.TakeCloseEvent();
  }
  HWND main = window_.handle();
  // The dialog handling moves the focus with Tab and Shift+Tab among the
  // window's controls, and dispatches everything else for the window itself.
  if (main == nullptr || !IsDialogMessageA(main, &message)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  const std::uint32_t event = window_.TakeRecordedEvent();
  return event != 0 ? event : message.message;
}

int Win32Desktop::ErrorBox(const char* caption, const char* text) { return win32::ErrorBox(caption, text); }

void Win32Desktop::EndProcess() { ExitProcess(0); }

}  // namespace quorvel::win32
