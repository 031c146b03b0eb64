#pragma once

// A UDP socket on 127.0.0.1 standing where a relay's port would be, for the
// probe's tests. It answers each datagram it receives with given bytes
// (or not at all), from its own port or from a second socket's.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::probe::testing {

class LoopbackSocket {
 public:
  LoopbackSocket() : descriptor_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  }
  ~LoopbackSocket() { Close(); }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  std::int32_t port() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
  }
  int descriptor() const { return descriptor_; }
  void Close() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
  }

 private:
  int descriptor_;
};

// Takes the first datagram that arrives within five seconds and answers it
// with `answer` (when given), sent from `answerFrom` (its own socket when
// null). What it received is kept for the test to look at.
class FakeRelayPort {
 public:
  explicit FakeRelayPort(std::optional<std::string> answer, const LoopbackSocket* answerFrom = nullptr)
      : answer_(std::move(answer)), answerFrom_(answerFrom), thread_([this] { Serve(); }) {}
  ~FakeRelayPort() { Finish(); }

  std::int32_t port() const { return socket_.port(); }
  // Waits until the one datagram has been handled (or none came).
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<std::string>& received() const { return received_; }

 private:
  void Serve() {
    pollfd watched{socket_.descriptor(), POLLIN, 0};
    if (::poll(&watched, 1, 5000) != 1) return;
    char buffer[2048];
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    const ssize_t size =
        ::recvfrom(socket_.descriptor(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &length);
    if (size < 0) return;
    received_.emplace_back(buffer, static_cast<std::size_t>(size));
    if (!answer_) return;
    const int from = answerFrom_ != nullptr ? answerFrom_->descriptor() : socket_.descriptor();
    ::sendto(from, answer_->data(), answer_->size(), 0, reinterpret_cast<const sockaddr*>(&sender), sizeof sender);
  }

  LoopbackSocket socket_;
  std::optional<std::string> answer_;
  const LoopbackSocket* answerFrom_;
  std::vector<std::string> received_;
  std::thread thread_;  // last: starts once everything above is in place
};

}  // namespace quorvel::probe::testing
