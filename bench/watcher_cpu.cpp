// How much processor the readiness watcher costs. The main thread only
// sleeps while it measures, so the process's processor time is the
// watcher's. Three phases of equal length:
//   idle     - watched server, nothing arrives;
//   flagged  - one datagram flagged and left untaken (the main thread held
//              up elsewhere, say by a modal box);
//   busy     - a thread that spins on a flag, to show what one busy
//              processor reads as on this platform.
// Prints processor seconds per wall second for each.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "net/socket_platform.h"
#include "net/udp_transport.h"
#include "process_cpu_time.h"

namespace {

using Clock = std::chrono::steady_clock;

double MeasureWhileSleeping(double seconds) {
  const double cpuBefore = ProcessCpuSeconds();
  const auto wallBefore = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
  return (ProcessCpuSeconds() - cpuBefore) / wall;
}

bool WaitUntilFlagged(const quorvel::UdpEndpoint& endpoint) {
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (endpoint.dataReady.load() == 0) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvel;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: watcher_cpu [seconds per phase]\n");
    return 2;
  }
  if (!StartNetwork()) {
    std::fprintf(stderr, "the sockets library did not start\n");
    return 1;
  }
  UdpEndpoint server;
  if (OpenServerEndpoint(server, 0) == 0 || !StartWatcher(server)) {
    std::fprintf(stderr, "no watched server endpoint\n");
    return 1;
  }
  const std::uint16_t port = socket_platform::BoundPort(server.socketHandle);
  UdpEndpoint client;
  if (OpenClientEndpoint(client, "127.0.0.1", port) == 0) {
    std::fprintf(stderr, "no client endpoint\n");
    return 1;
  }

  std::printf("phase length: %.1f s\n", seconds);
  std::printf("idle watcher:             %.4f CPU s per wall s\n", MeasureWhileSleeping(seconds));

  SendDatagram(client, "waiting", 7);
  if (!WaitUntilFlagged(server)) {
    std::fprintf(stderr, "the datagram was not flagged\n");
    return 1;
  }
  const double flagged = MeasureWhileSleeping(seconds);
  if (server.dataReady.load() != 1) {
    std::fprintf(stderr, "the flag fell while nobody took the datagram\n");
    return 1;
  }
  std::printf("flagged datagram untaken: %.4f CPU s per wall s\n", flagged);

  char buffer[16];
  if (ReceiveDatagram(server, buffer, sizeof buffer) != 7) {
    std::fprintf(stderr, "the flagged datagram was not taken whole\n");
    return 1;
  }

  std::atomic<std::uint32_t> spinFlag{1};
  std::thread spinner([&spinFlag] {
    while (spinFlag.load() != 0) {
    }
  });
  const double busy = MeasureWhileSleeping(seconds);
  spinFlag.store(0);
  spinner.join();
  std::printf("busy reference thread:    %.4f CPU s per wall s\n", busy);
  return 0;
}
