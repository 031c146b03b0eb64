#pragma once

// The relay's one top-level window, the address local clients send their
// messages to, routed into an object with one message switch.

#include <cstdint>
#include <functional>
#include <utility>

#include "base/win32/windows_api.h"
#include "relay/desktop.h"

namespace quorvel::win32 {

// The relay's one top-level window: the address local clients send their
// messages to. Its procedure offers every message to the installed callback
// first and otherwise does the window's own default processing, which
// records a close request for the main loop.
class MainWindow {
 public:
  explicit MainWindow(HINSTANCE module);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Registers the window class and creates the window, shown or never shown.
  // False when the platform refused the window.
  bool Create(bool visible);
  HWND handle() const { return window_; }
  HINSTANCE module() const { return module_; }

  void InstallCallback(Desktop::WindowCallback callback) { callback_ = std::move(callback); }
  void InstallSessionEndHandler(std::function<void()> end) { sessionEnd_ = std::move(end); }

  // Whether a close request is recorded, leaving none recorded.
  bool TakeCloseRequest() { return std::exchange(closeRequested_, false); }
  bool CloseRecorded() const { return closeRequested_; }

  // Destroys the window with its children and unregisters the class.
  void Destroy();

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE module_;
  bool classRegistered_ = false;
  HWND window_ = nullptr;
  Desktop::WindowCallback callback_;
  std::function<void()> sessionEnd_;
  bool closeRequested_ = false;
};

}  // namespace quorvel::win32
