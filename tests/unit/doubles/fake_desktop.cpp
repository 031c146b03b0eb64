#include "doubles/fake_desktop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace quorvel::testing {

namespace {

void Clear(int descriptor) {
  eventfd_t count = 0;
  static_cast<void>(::eventfd_read(descriptor, &count));
}

}  // namespace

FakeDesktop::FakeDesktop() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

FakeDesktop::~FakeDesktop() {
  if (wake_ >= 0) ::close(wake_);
}

Desktop::MainWindow FakeDesktop::CreateMainWindow(bool withLog) {
  ++createCalls;
  createdWithLog = withLog;
  return {windowHandle, withLog ? &view : nullptr};
}

EndRequest FakeDesktop::PollWindowEvent() {
  ++polls;
  if (onPoll) onPoll();
  DeliverSent();
  if (!scriptedPolls.empty()) {
    const EndRequest request = scriptedPolls.front();
    scriptedPolls.pop_front();
    return request;
  }
  const std::lock_guard<std::mutex> hold(lock_);
  return std::exchange(closeRequested_, false) ? EndRequest::Close : EndRequest::None;
}

void FakeDesktop::DeliverSent() {
  for (;;) {
    std::shared_ptr<Sent> next;
    {
      const std::lock_guard<std::mutex> hold(lock_);
      if (sent_.empty()) return;
      next = sent_.front();
      sent_.pop_front();
    }
    const std::uint32_t result = Deliver(next->message, next->wParam, next->lParam);
    {
      const std::lock_guard<std::mutex> hold(lock_);
      next->result = result;
    }
    delivered_.notify_all();
  }
}

std::size_t FakeDesktop::WaitForWork(std::span<const std::intptr_t> datagramHandles) {
  ++waits;
  bool messageWaiting = !scriptedPolls.empty();  // queued messages end the wait at once
  {
    const std::lock_guard<std::mutex> hold(lock_);
    messageWaiting = messageWaiting || !sent_.empty() || closeRequested_;
  }
  // As on Windows, a raised handle is reported before a waiting message.
  std::vector<pollfd> watched{{wake_, POLLIN, 0}};
  std::transform(datagramHandles.begin(), datagramHandles.end(), std::back_inserter(watched),
                 [](std::intptr_t socket) { return pollfd{static_cast<int>(socket - 1), POLLIN, 0}; });
  while (::poll(watched.data(), watched.size(), messageWaiting ? 0 : -1) < 0 && errno == EINTR) {
  }
  if (!messageWaiting) Clear(wake_);
  for (std::size_t at = 1; at < watched.size(); ++at) {
    if (watched[at].revents != 0) return at - 1;
  }
  return datagramHandles.size();
}

std::optional<std::uint32_t> FakeDesktop::SendFromOtherThread(std::uint32_t message, std::uintptr_t wParam,
                                                              std::intptr_t lParam,
                                                              std::chrono::milliseconds limit) {
  auto sent = std::make_shared<Sent>(Sent{message, wParam, lParam, std::nullopt});
  std::unique_lock<std::mutex> hold(lock_);
  sent_.push_back(sent);
  static_cast<void>(::eventfd_write(wake_, 1));
  // A message not delivered in time stays queued; the caller gives up on it.
  delivered_.wait_for(hold, limit, [&sent] { return sent->result.has_value(); });
  return sent->result;
}

void FakeDesktop::RequestCloseFromOtherThread() {
  const std::lock_guard<std::mutex> hold(lock_);
  closeRequested_ = true;
  static_cast<void>(::eventfd_write(wake_, 1));
}

void FakeDesktop::ErrorBox(const char* caption, const char* text) {
  boxes.push_back({caption, text});
  // Death tests read the boxes from the child's output.
  std::fprintf(stderr, "ErrorBox[%s]: %s\n", caption, text);
  if (onErrorBox) onErrorBox();
}

void FakeDesktop::EndProcess() {
  std::fflush(nullptr);
  std::_Exit(0);
}

std::uint32_t FakeDesktop::Deliver(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return callback_ ? callback_(message, wParam, lParam) : NotHandled;
}

}  // namespace quorvel::testing
