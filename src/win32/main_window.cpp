// The relay's one top-level window, routed into an object with one message
// switch.

#include "win32/main_window.h"

#include "quorvel_wire.h"
#include "win32/tree_log_view.h"

namespace quorvel::win32 {

namespace {

constexpr int kClientWidth = 400;
constexpr int kClientHeight = 400;
constexpr int kLeft = 100;
constexpr int kTop = 100;

// Pixels at 96 DPI for the DPI this process sees. The relay is declared
// DPI-unaware: Windows tells it 96 and scales the window as a whole, so the
// sizes stay as they are. Where the DPI comes through unscaled (Wine), the
// window is drawn as large itself, so that at 192 DPI the doubled font still
// fits the 400 x 400 logical pixels.
int Logical(int pixels) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return MulDiv(pixels, dpi > 0 ? dpi : 96, 96);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE module) : module_(module) {}

bool MainWindow::Create(bool visible) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = &MainWindow::WindowProcedure;
  windowClass.hInstance = module_;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconA(module_, MAKEINTRESOURCEA(1));  // the programs' icon
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = QV_RELAY_WINDOW_CLASS;
  classRegistered_ = RegisterClassA(&windowClass) != 0;

  // Visible: a caption with the close button only, no sizing border. Hidden:
  // a bare caption, and the window is never shown (so not in the task bar).
  const DWORD frame = visible ? (WS_CAPTION | WS_SYSMENU) : WS_CAPTION;
  RECT outer = {0, 0, Logical(kClientWidth), Logical(kClientHeight)};
  AdjustWindowRect(&outer, frame, FALSE);
  const DWORD style = visible ? (frame | WS_VISIBLE) : frame;
  // The window procedure learns its object from the creation parameter.
  window_ = CreateWindowExA(0, QV_RELAY_WINDOW_CLASS, QV_RELAY_WINDOW_TITLE, style, Logical(kLeft), Logical(kTop),
                            outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, module_, this);
  return window_ != nullptr;
}

void MainWindow::Destroy() {
  if (window_ != nullptr) DestroyWindow(window_);
  window_ = nullptr;
  if (classRegistered_) UnregisterClassA(QV_RELAY_WINDOW_CLASS, module_);
  classRegistered_ = false;
}

LRESULT CALLBACK MainWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  // The few messages before WM_NCCREATE get the platform's default.
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  const LRESULT result = self->HandleMessage(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
  }
  return result;
}

LRESULT MainWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (callback_) {
    const std::uint32_t result = callback_(message, wParam, lParam);
    // The callback's answer is a 32-bit value; widened without sign, so a
    // sender of any width reads back exactly 0, 1 or what it returned.
    if (result != NotHandled) return static_cast<LRESULT>(result);
  }
  return DefaultProcessing(window, message, wParam, lParam);
}

LRESULT MainWindow::DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // The window stays until the relay shuts down.
      closeRequested_ = true;
      return 0;
    case WM_ENDSESSION:
      // Once this is answered the system may end the process at any time:
      // the relay ends here, its ending logged and the log file written.
      if (wParam != FALSE && sessionEnd_) sessionEnd_();
      return 0;
    case WM_MOVE:
    case WM_SIZE:
    case WM_COMMAND:
      return 0;
    case WM_NOTIFY:
      // Only the tree, a child on this thread, notifies the window. lParam
      // is never read: from another thread or process it could point
      // anywhere.
      if (InSendMessageEx(nullptr) == ISMEX_NOSEND && wParam == static_cast<WPARAM>(kLogTreeId)) return 0;
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace quorvel::win32
