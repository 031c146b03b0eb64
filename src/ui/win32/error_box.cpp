#include "ui/win32/error_box.h"

#include <list>
#include <mutex>

#include "ui/win32/windows_api.h"

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

int ErrorBox(const char* caption, const char* text) {
  const DWORD threadId = GetCurrentThreadId();
  // One look at the foreground for both choices, so the window that is left
  // enabled is exactly the one the box is modal to.
  const HWND foreground = GetForegroundWindow();
  DisableOtherWindows(threadId, foreground);
  const int result = MessageBoxA(OwnerFor(foreground), text, caption, MB_OK);
  EnableRememberedWindows(threadId);
  return result;
}

}  // namespace quorvel::win32
