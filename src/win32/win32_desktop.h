#pragma once

// The operator's desktop over the window manager.

#include <cstdint>
#include <optional>

#include "base/win32/windows_api.h"
#include "relay/desktop.h"
#include "win32/main_window.h"
#include "win32/notification_icon.h"
#include "win32/tree_log_view.h"

namespace quorvel::win32 {

class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(HINSTANCE module) : window_(module), icon_(module) {}

  Desktop::MainWindow CreateMainWindow(bool withLog) override;
  void InstallCallback(WindowCallback callback) override { window_.InstallCallback(std::move(callback)); }
  EndRequest PollWindowEvent() override;
  std::size_t WaitForWork(std::span<const std::intptr_t> datagramHandles) override;
  void AnnounceStart() override;
  void InstallSessionEndHandler(std::function<void()> end) override {
    window_.InstallSessionEndHandler(std::move(end));
  }
  void ShowNotificationIcon(const NotificationIcon& icon) override { icon_.Show(window_.handle(), icon); }
  void ErrorBox(const char* caption, const char* text) override;
  void DestroyMainWindow() override {
    icon_.Remove();
    window_.Destroy();
  }
  [[noreturn]] void EndProcess() override;

 private:
  // The end a close request or the icon's menu has recorded, leaving none.
  EndRequest TakeEndRequest();

  win32::MainWindow window_;
  win32::NotificationIcon icon_;
  std::optional<TreeLogView> logView_;
};

}  // namespace quorvel::win32
