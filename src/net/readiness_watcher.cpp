#include "net/readiness_watcher.h"

#include <chrono>
#include <system_error>

#include "net/socket_platform.h"

namespace quorvel {
namespace {

// Each pass starts with this pause, so a burst is flagged at most about one
// datagram per millisecond.
constexpr std::chrono::milliseconds kPassPause{1};
// How long one wait for a datagram lasts before the watcher looks whether it
// is to stop; it bounds how long Stop takes.
constexpr std::int32_t kWaitSliceMilliseconds = 20;

}  // namespace

bool ReadinessWatcher::Start() {
  try {
    thread_ = std::thread(&ReadinessWatcher::Watch, this);
  } catch (const std::system_error&) {  // the platform refused the thread
    return false;
  }
  return true;
}

void ReadinessWatcher::Stop() {
  {
    const std::lock_guard<std::mutex> lock(restMutex_);
    stopping_ = true;
  }
  restWake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void ReadinessWatcher::FlagCleared() {
  // Taking the lock after the store means the watcher is either still before
  // its check (and will see 0) or already waiting (and gets the wake-up).
  { const std::lock_guard<std::mutex> lock(restMutex_); }
  restWake_.notify_one();
}

bool ReadinessWatcher::WaitForFlag(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(restMutex_);
  return flagRaised_.wait_for(lock, limit, [this] { return endpoint_.dataReady.load() != 0; });
}

bool ReadinessWatcher::WaitUntilCleared() {
  std::unique_lock<std::mutex> lock(restMutex_);
  restWake_.wait(lock, [this] { return stopping_ || endpoint_.dataReady.load() == 0; });
  return !stopping_;
}

void ReadinessWatcher::Watch() {
  // The flag is raised only after it was seen at 0, and the next look at the
  // socket happens only after the main thread lowered it again, so the two
  // threads never read from the socket at the same time.
  while (WaitUntilCleared()) {
    const SocketHandle socket = endpoint_.socketHandle;
    std::this_thread::sleep_for(kPassPause);
    // Errors (a closed socket, an unreachable port from an earlier send) are
    // dropped; the next pass looks again.
    if (socket_platform::WaitForDatagram(socket, kWaitSliceMilliseconds) ==
        socket_platform::Readiness::DatagramQueued) {
      {
        // Raised under the lock, so a main thread about to wait either sees
        // the flag or is already waiting and gets the wake-up.
        const std::lock_guard<std::mutex> lock(restMutex_);
        endpoint_.dataReady.store(1);
      }
      flagRaised_.notify_one();
    }
  }
}

}  // namespace quorvel
