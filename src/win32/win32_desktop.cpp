// The operator's desktop over the window manager: the main window and its
// poll, the main loop's wait, the error box and the end of the process.

#include "win32/win32_desktop.h"

#include <algorithm>
#include <iterator>
#include <list>
#include <mutex>

#include "quorvel_wire.h"

namespace quorvel::win32 {

namespace {

struct DisabledWindow {
  DWORD threadId;
  HWND window;
};

// The windows that open boxes have disabled and must enable again, newest
// first. Boxes nest (a client message handled while one is open can open
// another), and each thread only ever enables its own.
std::mutex disabledWindowsLock;
std::list<DisabledWindow> disabledWindows;

struct DisableRound {
  DWORD threadId;
  HWND foreground;
};

BOOL CALLBACK DisableIfOwnWindow(HWND window, LPARAM context) {
  const auto& round = *reinterpret_cast<const DisableRound*>(context);
  if (GetWindowThreadProcessId(window, nullptr) == round.threadId && IsWindowVisible(window) &&
      IsWindowEnabled(window) && window != round.foreground) {
    EnableWindow(window, FALSE);
    const std::lock_guard<std::mutex> hold(disabledWindowsLock);
    disabledWindows.push_front({round.threadId, window});
  }
  return TRUE;
}

void DisableOtherWindows(DWORD threadId, HWND foreground) {
  DisableRound round{threadId, foreground};
  EnumWindows(&DisableIfOwnWindow, reinterpret_cast<LPARAM>(&round));
}

void EnableRememberedWindows(DWORD threadId) {
  std::list<DisabledWindow> own;
  {
    const std::lock_guard<std::mutex> hold(disabledWindowsLock);
    for (auto entry = disabledWindows.begin(); entry != disabledWindows.end();) {
      auto current = entry++;
      if (current->threadId == threadId) own.splice(own.end(), disabledWindows, current);
    }
  }
  // Enabling sends messages to the windows; no lock is held meanwhile.
  for (const DisabledWindow& entry : own) EnableWindow(entry.window, TRUE);
}

// The foreground window, if it belongs to this process; the box is modal to it.
HWND OwnerFor(HWND foreground) {
  if (foreground == nullptr) return nullptr;
  DWORD processId = 0;
  GetWindowThreadProcessId(foreground, &processId);
  return processId == GetCurrentProcessId() ? foreground : nullptr;
}

}  // namespace

// Modal message box with an OK button. While it is open the calling
// thread's other visible windows are disabled, so that the operator can only
// answer the box; the thread keeps delivering its messages meanwhile.
void Win32Desktop::ErrorBox(const char* caption, const char* text) {
  const DWORD threadId = GetCurrentThreadId();
  // One look at the foreground for both choices, so the window that is left
  // enabled is exactly the one the box is modal to.
  const HWND foreground = GetForegroundWindow();
  DisableOtherWindows(threadId, foreground);
  MessageBoxA(OwnerFor(foreground), text, caption, MB_OK);
  EnableRememberedWindows(threadId);
}

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

EndRequest Win32Desktop::TakeEndRequest() {
  if (window_.TakeCloseRequest()) return EndRequest::Close;
  if (icon_.TakeEndCommand()) return EndRequest::EndCommand;
  return EndRequest::None;
}

EndRequest Win32Desktop::PollWindowEvent() {
  MSG message;
  // Looking is also when the platform delivers the messages other programs
  // have sent to the window and are waiting on: the clients' messages.
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    // A close request that another program sent while we looked leaves no
    // queued message behind. It must still end the relay now: the hidden
    // window may never see another queued message to carry it.
    return TakeEndRequest();
  }
  HWND main = window_.handle();
  // The dialog handling moves the focus with Tab and Shift+Tab among the
  // window's controls, and dispatches everything else for the window itself.
  if (main == nullptr || !IsDialogMessageA(main, &message)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // A close request posted to the thread itself ends the relay as well.
  const EndRequest request = TakeEndRequest();
  return request == EndRequest::None && message.message == WM_CLOSE ? EndRequest::Close : request;
}

std::size_t Win32Desktop::WaitForWork(std::span<const std::intptr_t> datagramHandles) {
  // A close request that another program sent while the thread was in a
  // nested loop (an error box, a notification) is recorded without a queued
  // message; the hidden window may never get one to carry it, so the next
  // poll must come now.
  if (window_.CloseRecorded() || icon_.EndCommandRecorded()) return datagramHandles.size();
  HANDLE handles[MAXIMUM_WAIT_OBJECTS - 1];
  const DWORD count = static_cast<DWORD>(std::min(datagramHandles.size(), std::size(handles)));
  for (DWORD at = 0; at < count; ++at) handles[at] = reinterpret_cast<HANDLE>(datagramHandles[at]);
  // QS_ALLINPUT takes in the messages other programs send (QS_SENDMESSAGE),
  // which PeekMessageA then delivers. MWMO_INPUTAVAILABLE: a message that an
  // earlier poll has seen but not taken ends the wait too, not only one that
  // arrives from now on.
  const DWORD woke =
      MsgWaitForMultipleObjectsEx(count, count != 0 ? handles : nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  return woke - WAIT_OBJECT_0 < count ? woke - WAIT_OBJECT_0 : datagramHandles.size();
}

// A registered message, as the taskbar announces itself with "TaskbarCreated";
// posted, since a broadcast send would wait on every hung window.
void Win32Desktop::AnnounceStart() {
  const UINT started = RegisterWindowMessageA(QV_RELAY_STARTED_MESSAGE_NAME);
  if (started != 0) PostMessageA(HWND_BROADCAST, started, 0, static_cast<LPARAM>(GetCurrentProcessId()));
}

void Win32Desktop::EndProcess() { ExitProcess(0); }

}  // namespace quorvel::win32
