#pragma once

// The operator's desktop over the window manager.

#include <cstdint>
#include <optional>

#include "relay/desktop.h"
#include "win32/main_window.h"
#include "win32/tree_log_view.h"
#include "win32/windows_api.h"

namespace quorvel::win32 {

class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(HINSTANCE module) : window_(module) {}

  Desktop::MainWindow CreateMainWindow(bool withLog) override;
  void InstallCallback(WindowCallback callback) override { window_.InstallCallback(std::move(callback)); }
  bool PollWindowEvent() override;
  std::size_t WaitForWork(std::span<const std::intptr_t> datagramHandles) override;
  void AnnounceStart() override;
  void ErrorBox(const char* caption, const char* text) override;
  void DestroyMainWindow() override { window_.Destroy(); }
  [[noreturn]] void EndProcess() override;

 private:
  win32::MainWindow window_;
  std::optional<TreeLogView> logView_;
};

}  // namespace quorvel::win32
