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

void Win32Desktop::WaitForWork(std::intptr_t readiness) {
  // A close request that another program sent while the thread was in a
  // nested loop (an error box, a notification) is recorded without a queued
  // message; the hidden window may never get one to carry it, so the next
  // poll must come now.
  if (window_.CloseRecorded()) return;
  HANDLE signal = reinterpret_cast<HANDLE>(readiness);
  const DWORD count = signal != nullptr ? 1 : 0;
  // QS_ALLINPUT takes in the messages other programs send (QS_SENDMESSAGE),
  // which PeekMessageA then delivers. MWMO_INPUTAVAILABLE: a message that an
  // earlier poll has seen but not taken ends the wait too, not only one that
  // arrives from now on.
  MsgWaitForMultipleObjectsEx(count, count != 0 ? &signal : nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

int Win32Desktop::ErrorBox(const char* caption, const char* text) { return win32::ErrorBox(caption, text); }

void Win32Desktop::EndProcess() { ExitProcess(0); }

}  // namespace quorvel::win32
