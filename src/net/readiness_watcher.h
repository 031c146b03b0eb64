#pragma once

// The thread that waits on one endpoint's socket in the main thread's place
// and hands the socket over when a datagram is queued.

#include <atomic>
#include <thread>

#include "net/socket_platform.h"
#include "net/udp_transport.h"

namespace quorvel {

// The thread that waits on one endpoint's socket in the main thread's place.
// It holds the socket while dataReady is 0 and waits on it (no pause, no time
// limit). When a datagram is queued (an empty one too) it hands the socket
// over: it raises dataReady, without taking anything, and raises the
// readiness signal that the main loop waits on. The main thread then takes
// what is queued with receives that do not wait and hands the socket back
// (HandBack) once nothing is left; only then does the watcher look again. So
// a burst costs one hand-over, and the two threads never read the socket at
// the same time. While the main thread holds the socket (say, held up by a
// modal box) the watcher waits without using the processor.
class ReadinessWatcher {
 public:
  explicit ReadinessWatcher(UdpEndpoint& endpoint) : endpoint_(endpoint) {}
  ~ReadinessWatcher();
  ReadinessWatcher(const ReadinessWatcher&) = delete;
  ReadinessWatcher& operator=(const ReadinessWatcher&) = delete;

  // Starts the thread; false when the platform refused it or its waits.
  bool Start();
  // Ends the thread and waits for it; it no longer runs once this returns.
  // dataReady is left as it is.
  void Stop();
  // Main thread, holding the socket: lowers dataReady and wakes the watcher.
  void HandBack();
  // What the watcher raises when it hands the socket over.
  socket_platform::WaitHandle readiness() const { return readiness_; }

 private:
  void Watch();
  void Release();

  UdpEndpoint& endpoint_;
  SocketHandle socket_ = 0;                  // the endpoint's socket when the watching began
  socket_platform::WaitHandle watch_ = 0;    // the socket made waitable
  socket_platform::WaitHandle wake_ = 0;     // raised by HandBack and Stop, waited on by the watcher
  socket_platform::WaitHandle readiness_ = 0;  // raised by the watcher, waited on by the main loop
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace quorvel
