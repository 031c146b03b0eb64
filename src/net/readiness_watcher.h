#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "net/udp_endpoint.h"

namespace quorvel {

// The thread that waits on one endpoint's socket in the main thread's place.
// When a datagram is queued (an empty one too) it raises the endpoint's
// dataReady without taking the datagram, then rests until the main thread
// has taken it and cleared the flag; only then does it look again, after a
// pause of 1 ms. While a flagged datagram waits it sleeps on a condition
// variable rather than spinning, so a main thread held up elsewhere (say, by
// a modal box) costs no processor.
class ReadinessWatcher {
 public:
  explicit ReadinessWatcher(UdpEndpoint& endpoint) : endpoint_(endpoint) {}
  ~ReadinessWatcher() { Stop(); }
  ReadinessWatcher(const ReadinessWatcher&) = delete;
  ReadinessWatcher& operator=(const ReadinessWatcher&) = delete;

  // Starts the thread; false when the platform refused it.
  bool Start();
  // Ends the thread and waits for it; it no longer runs once this returns.
  void Stop();
  // Main thread, right after it cleared dataReady: wakes the resting watcher.
  void FlagCleared();
  // Main thread: waits at most `limit` for the flag to be raised; true when
  // it is up.
  bool WaitForFlag(std::chrono::milliseconds limit);

 private:
  void Watch();
  bool WaitUntilCleared();  // false = stop instead

  UdpEndpoint& endpoint_;
  std::mutex restMutex_;
  std::condition_variable restWake_;
  std::condition_variable flagRaised_;  // waited on by the main thread, under restMutex_
  bool stopping_ = false;  // written and read under restMutex_
  std::thread thread_;
};

}  // namespace quorvel
