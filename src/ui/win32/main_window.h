#pragma once

#include <cstdint>
#include <utility>

#include "ui/desktop.h"
#include "ui/win32/windows_api.h"

namespace quorvel::win32 {

// The relay's one top-level window: the address local clients send their
// messages to. Its procedure offers every message to the installed callback
// first and otherwise does the window's own default processing, which
// records the events the main loop polls for.
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

  // The recorded event, leaving none recorded; 0 = none.
  std::uint32_t TakeRecordedEvent();
  // CloseEvent when a close request is recorded (leaving none), else 0 with
  // any other recorded event left in place.
  std::uint32_t TakeCloseEvent();
  // Whether a close request is recorded (TakeCloseEvent would return it).
  bool CloseRecorded() const { return recordedEvent_ == CloseEvent; }

  // Destroys the window with its children and unregisters the class.
  void Destroy();

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RecordEvent(std::uint32_t event) { recordedEvent_ = event; }

  HINSTANCE module_;
  char className_[32] = {};
  bool classRegistered_ = false;
  HWND window_ = nullptr;
  Desktop::WindowCallback callback_;
  std::uint32_t recordedEvent_ = 0;
};

}  // namespace quorvel::win32
