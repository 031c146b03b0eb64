#pragma once

// The resident relay's icon in the notification area, with its own hidden
// window: a tooltip naming the port and a menu to show or hide the debug
// window, open the log file and end the relay.

#include <string>
#include <utility>

#include "relay/desktop.h"
#include "base/win32/windows_api.h"

namespace quorvel::win32 {

// Menu command ids; the icon's window also takes them as WM_COMMAND.
enum IconCommand : int {
  kToggleDebugWindow = 1,
  kOpenLogFile = 2,
  kEndRelay = 3,
};

// The icon lives apart from the main window, in a hidden top-level window
// of its own class, so that nothing about the main window changes for the
// clients that address it. Nothing here waits or wakes by itself: the icon
// costs the idle relay nothing.
class NotificationIcon {
 public:
  explicit NotificationIcon(HINSTANCE module) : module_(module) {}
  NotificationIcon(const NotificationIcon&) = delete;
  NotificationIcon& operator=(const NotificationIcon&) = delete;
  ~NotificationIcon() { Remove(); }

  // Creates the icon's window and adds the icon; `mainWindow` is what the
  // menu shows and hides. False when the window could not be made; a taskbar
  // that is not there yet gets the icon when it announces itself.
  bool Show(HWND mainWindow, const Desktop::NotificationIcon& settings);
  // Takes the icon away and destroys its window.
  void Remove();

  // Whether the end command was chosen, leaving none recorded.
  bool TakeEndCommand() { return std::exchange(endChosen_, false); }
  bool EndCommandRecorded() const { return endChosen_; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool AddToTaskbar();
  void ShowMenu();
  void Carry(int command);

  HINSTANCE module_;
  HWND window_ = nullptr;
  HWND mainWindow_ = nullptr;
  HICON icon_ = nullptr;
  UINT taskbarCreated_ = 0;
  bool withLog_ = false;
  std::string logFile_;  // full path; empty: none
  std::string tip_;
  bool endChosen_ = false;
};

}  // namespace quorvel::win32
