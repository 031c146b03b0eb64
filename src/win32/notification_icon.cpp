// The resident relay's icon in the notification area, with its own hidden
// window: a tooltip naming the port and a menu to show or hide the debug
// window, open the log file and end the relay.

#include "win32/notification_icon.h"

#include <shellapi.h>

#include <cstdio>

#include "relay/operator_texts.h"

namespace quorvel::win32 {

namespace {

constexpr char kIconWindowClass[] = "QuorvelTrayIcon";
// What the taskbar sends the icon's window about the icon (mouse and keys).
constexpr UINT kIconMessage = WM_APP + 1;
constexpr UINT kIconId = 1;
// The programs' icon resource.
constexpr int kIconResource = 1;

std::string FullPath(const std::string& path) {
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

}  // namespace

bool NotificationIcon::Show(HWND mainWindow, const Desktop::NotificationIcon& settings) {
  mainWindow_ = mainWindow;
  withLog_ = settings.withLog && mainWindow != nullptr;
  // The relay's working directory does not change, but whatever opens the
  // file runs elsewhere.
  logFile_ = settings.logFile.empty() ? std::string() : FullPath(settings.logFile);
  char tip[128];
  std::snprintf(tip, sizeof tip, texts::kIconTipFormat, static_cast<long>(settings.port));
  tip_ = tip;
  icon_ = static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  // Sent to every top-level window when the taskbar (re)starts.
  taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &NotificationIcon::WindowProcedure;
  windowClass.hInstance = module_;
  windowClass.hIcon = icon_;
  windowClass.lpszClassName = kIconWindowClass;
  RegisterClassA(&windowClass);
  // Top-level, not message-only: only top-level windows hear the taskbar's
  // broadcast. Never shown.
  window_ = CreateWindowExA(WS_EX_TOOLWINDOW, kIconWindowClass, "Quorvel", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, module_, this);
  if (window_ == nullptr) return false;
  AddToTaskbar();
  return true;
}

bool NotificationIcon::AddToTaskbar() {
  NOTIFYICONDATAA data = {};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kIconMessage;
  data.hIcon = icon_;
  lstrcpynA(data.szTip, tip_.c_str(), sizeof data.szTip);
  return Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

void NotificationIcon::Remove() {
  if (window_ == nullptr) return;
  NOTIFYICONDATAA data = {};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kIconId;
  Shell_NotifyIconA(NIM_DELETE, &data);
  DestroyWindow(window_);
  window_ = nullptr;
  UnregisterClassA(kIconWindowClass, module_);
  if (icon_ != nullptr) DestroyIcon(icon_);
  icon_ = nullptr;
}

void NotificationIcon::ShowMenu() {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  const bool shown = mainWindow_ != nullptr && IsWindowVisible(mainWindow_) != FALSE;
  // Without debugging there is no log to show: the item stays, greyed.
  AppendMenuA(menu, MF_STRING | (withLog_ ? 0U : MF_GRAYED), kToggleDebugWindow,
              shown ? texts::kIconHideWindow : texts::kIconShowWindow);
  AppendMenuA(menu, MF_STRING | (logFile_.empty() ? MF_GRAYED : 0U), kOpenLogFile, texts::kIconOpenLogFile);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kEndRelay, texts::kIconEnd);
  POINT at = {};
  GetCursorPos(&at);
  // In front, or the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window_);
  // The choice comes back as a posted WM_COMMAND, carried out by the main
  // loop's own dispatch.
  TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, window_, nullptr);
  PostMessageA(window_, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

void NotificationIcon::Carry(int command) {
  switch (command) {
    case kToggleDebugWindow:
      if (!withLog_) return;
      if (IsWindowVisible(mainWindow_) != FALSE) {
        ShowWindow(mainWindow_, SW_HIDE);
      } else {
        ShowWindow(mainWindow_, SW_SHOW);
        SetForegroundWindow(mainWindow_);
      }
      return;
    case kOpenLogFile:
      // The file is up to date: the relay flushes it whenever it waits, and
      // a menu is chosen from only while it waits.
      if (!logFile_.empty()) ShellExecuteA(nullptr, "open", logFile_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return;
    case kEndRelay:
      endChosen_ = true;
      return;
    default:
      return;
  }
}

LRESULT CALLBACK NotificationIcon::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  NotificationIcon* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<NotificationIcon*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<NotificationIcon*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT NotificationIcon::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    AddToTaskbar();
    return 0;
  }
  switch (message) {
    case kIconMessage:
      switch (LOWORD(lParam)) {
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
          ShowMenu();
          break;
        case WM_LBUTTONDBLCLK:
          Carry(kToggleDebugWindow);
          break;
        default:
          break;
      }
      return 0;
    case WM_CLOSE:
      // A close request for the process (taskkill posts one to each of its
      // windows) ends the relay through the poll; the window stays till then.
      return 0;
    case WM_COMMAND:
      // From the menu. Another program may post these as well; it could as
      // well send the main window a close request.
      if (HIWORD(wParam) == 0) Carry(LOWORD(wParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace quorvel::win32
