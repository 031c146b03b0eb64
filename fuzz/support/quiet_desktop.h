#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "relay/desktop.h"

namespace quorvel::fuzzing {

// Thrown where the relay would end its process, so that the fuzzer can go
// on with the next input; the targets catch it around each delivery.
struct ProcessEnded {};

// A desktop without a screen. An error box runs `onErrorBox` while it is
// "open", as a real modal box lets messages through.
class QuietDesktop : public Desktop {
 public:
  MainWindow CreateMainWindow(bool) override { return {0x2A0046, nullptr}; }
  void InstallCallback(WindowCallback) override {}
  EndRequest PollWindowEvent() override { return EndRequest::None; }
  // The targets never run the main loop.
  std::size_t WaitForWork(std::span<const std::intptr_t> handles) override { return handles.size(); }
  void AnnounceStart() override {}
  void InstallSessionEndHandler(std::function<void()>) override {}
  void ShowNotificationIcon(const NotificationIcon&) override {}
  void ErrorBox(const char*, const char*) override {
    if (onErrorBox) onErrorBox();
  }
  void DestroyMainWindow() override {}
  [[noreturn]] void EndProcess() override { throw ProcessEnded{}; }

  std::function<void()> onErrorBox;
};

}  // namespace quorvel::fuzzing
