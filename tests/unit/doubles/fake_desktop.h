#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/desktop.h"

namespace quorvel::testing {

// Records what the relay asks of the desktop. Poll results are scripted;
// EndProcess ends the test process with exit code 0, so tests of the end
// paths run it inside a death test.
class FakeDesktop : public Desktop {
 public:
  struct ShownBox {
    std::string caption;
    std::string text;
  };

  MainWindow CreateMainWindow(bool withLog) override;
  void InstallCallback(WindowCallback callback) override { callback_ = std::move(callback); }
  std::uint32_t PollWindowEvent() override;
  int ErrorBox(const char* caption, const char* text) override;
  void DestroyMainWindow() override { ++destroyCalls; }
  [[noreturn]] void EndProcess() override;

  // Delivers a message to the installed callback as the window would.
  std::uint32_t Deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  bool HasCallback() const { return static_cast<bool>(callback_); }

  WindowHandle windowHandle = 0x2A0046;
  int createCalls = 0;
  bool createdWithLog = false;
  int destroyCalls = 0;
  std::deque<std::uint32_t> scriptedEvents;  // returned by the next polls; then 0
  int polls = 0;
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
  WindowCallback callback_;
};

}  // namespace quorvel::testing
