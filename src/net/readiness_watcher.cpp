// The thread that waits on one endpoint's socket in the main thread's place
// and hands the socket over when a datagram is queued.

#include "net/readiness_watcher.h"

#include <system_error>

namespace quorvel {

ReadinessWatcher::~ReadinessWatcher() {
  Stop();
  Release();
}

bool ReadinessWatcher::Start() {
  socket_ = endpoint_.socketHandle;
  wake_ = socket_platform::CreateSignal();
  readiness_ = socket_platform::CreateSignal();
  watch_ = socket_platform::WatchSocket(socket_);
  if (wake_ == 0 || readiness_ == 0 || watch_ == 0) {
    Release();
    return false;
  }
  try {
    thread_ = std::thread(&ReadinessWatcher::Watch, this);
  } catch (const std::system_error&) {  // the platform refused the thread
    Release();
    return false;
  }
  return true;
}

void ReadinessWatcher::Stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  socket_platform::RaiseSignal(wake_);
  thread_.join();
}

void ReadinessWatcher::Release() {
  if (watch_ != 0) socket_platform::UnwatchSocket(socket_, watch_);
  if (wake_ != 0) socket_platform::CloseSignal(wake_);
  if (readiness_ != 0) socket_platform::CloseSignal(readiness_);
  watch_ = wake_ = readiness_ = 0;
}

void ReadinessWatcher::HandBack() {
  // Stored before the wake-up: the watcher, woken or not yet waiting, finds
  // the flag down and looks at the socket again.
  endpoint_.dataReady.store(0);
  socket_platform::RaiseSignal(wake_);
}

void ReadinessWatcher::Watch() {
  for (;;) {
    // The main thread holds the socket (it was handed over, or a flag was
    // left standing by an earlier watcher): wait until it comes back.
    while (endpoint_.dataReady.load() != 0 && !stopping_.load()) socket_platform::WaitForSignal(wake_);
    if (stopping_.load()) return;
    // No look first: the main thread's last look found nothing, and a
    // datagram that came after it ends this wait at once (so does one that
    // was queued before the watching began).
    switch (socket_platform::WaitForSocketOrSignal(socket_, watch_, wake_)) {
      case socket_platform::Wake::Socket:
        // A datagram, or an error (a refusal of an earlier send), which the
        // peek consumes.
        if (socket_platform::PeekQueued(socket_) == socket_platform::Queued::Datagram) {
          endpoint_.dataReady.store(1);
          socket_platform::RaiseSignal(readiness_);
        }
        break;
      case socket_platform::Wake::Signal:
        break;
      case socket_platform::Wake::Failed:
        // The socket cannot be waited on (it was closed): only a wake-up
        // can change anything now.
        socket_platform::WaitForSignal(wake_);
        break;
    }
  }
}

}  // namespace quorvel
