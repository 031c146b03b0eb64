#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "relay/desktop.h"

namespace quorvel::testing {

// Records what the relay asks of the desktop. Close requests are scripted;
// EndProcess ends the test process with exit code 0, so tests of the end
// paths run it inside a death test.
//
// Other threads can reach the main loop as other programs reach the real
// window: SendFromOtherThread (delivered by the next poll, the sender waiting
// meanwhile) and RequestCloseFromOtherThread (a close request a later poll
// reports). Both end a WaitForWork, which otherwise waits, like the real one,
// for a datagram on the watched sockets alone (handle = descriptor + 1).
class FakeDesktop : public Desktop {
 public:
  struct ShownBox {
    std::string caption;
    std::string text;
  };

  FakeDesktop();
  ~FakeDesktop() override;

  MainWindow CreateMainWindow(bool withLog) override;
  void InstallCallback(WindowCallback callback) override { callback_ = std::move(callback); }
  EndRequest PollWindowEvent() override;
  std::size_t WaitForWork(std::span<const std::intptr_t> datagramHandles) override;
  void AnnounceStart() override { ++announcements; }
  void InstallSessionEndHandler(std::function<void()> end) override { sessionEnd = std::move(end); }
  void ShowNotificationIcon(const NotificationIcon& icon) override { shownIcons.push_back(icon); }
  void ErrorBox(const char* caption, const char* text) override;
  void DestroyMainWindow() override { ++destroyCalls; }
  [[noreturn]] void EndProcess() override;

  // Delivers a message to the installed callback as the window would.
  std::uint32_t Deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  bool HasCallback() const { return static_cast<bool>(callback_); }

  // From another thread: waits until a poll has delivered the message to the
  // callback and returns its result; none when no poll came within `limit`.
  std::optional<std::uint32_t> SendFromOtherThread(std::uint32_t message, std::uintptr_t wParam,
                                                   std::intptr_t lParam, std::chrono::milliseconds limit);
  // From another thread: a close request that a later poll reports.
  void RequestCloseFromOtherThread();

  WindowHandle windowHandle = 0x2A0046;
  int createCalls = 0;
  bool createdWithLog = false;
  int destroyCalls = 0;
  int announcements = 0;
  std::deque<EndRequest> scriptedPolls;  // what the next polls return; then None
  std::function<void()> sessionEnd;      // what the relay runs when the session ends
  std::vector<NotificationIcon> shownIcons;
  int polls = 0;
  int waits = 0;
  std::function<void()> onPoll;    // runs inside each poll, like a sent message
  std::function<void()> onErrorBox;  // runs while a box is "open"
  std::vector<ShownBox> boxes;

  // The view the log draws into when created with the log.
  struct RecordingView : LogView {
    struct Shown {
      std::size_t line;
      std::size_t parent;
      std::string text;
    };
    void ShowLine(std::size_t line, std::size_t parent, const char* text) override {
      shown.push_back({line, parent, text});
    }
    std::vector<Shown> shown;
  } view;

 private:
  struct Sent {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    std::optional<std::uint32_t> result;
  };

  void DeliverSent();

  WindowCallback callback_;
  std::mutex lock_;
  std::condition_variable delivered_;
  std::deque<std::shared_ptr<Sent>> sent_;  // under lock_
  bool closeRequested_ = false;             // under lock_
  int wake_ = -1;                           // eventfd raised by the two calls from other threads
};

}  // namespace quorvel::testing
