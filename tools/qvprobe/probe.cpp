#include "probe.h"

#include <chrono>

#include "base/byte_order.h"
#include "net/socket_platform.h"
#include "net/socket_probing.h"
#include "net/udp_transport.h"
#include "relay/datagram.h"

namespace quorvel::probe {
namespace {

constexpr std::uint16_t kAddressFamilyIpv4 = 2;
// The largest UDP payload over IPv4, so that no answer is cut off.
constexpr std::int32_t kLargestDatagram = 65507;
// Stray datagrams from other ports are passed over, but not without end.
constexpr int kMostDatagramsLookedAt = 1000;

using Clock = std::chrono::steady_clock;

// The socket is closed however the probe ends.
class ProbeSocket {
 public:
  ProbeSocket() : handle_(socket_platform::OpenDatagramSocket()) {}
  ~ProbeSocket() {
    if (handle_ != 0) socket_platform::CloseSocket(handle_);
  }
  ProbeSocket(const ProbeSocket&) = delete;
  ProbeSocket& operator=(const ProbeSocket&) = delete;
  SocketHandle handle() const { return handle_; }

 private:
  SocketHandle handle_;
};

std::int32_t MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<std::int32_t>(left);
}

ProbeOutcome AwaitAnswer(SocketHandle socket, const SocketAddress& relay, std::int32_t timeoutMilliseconds,
                         ProbeResult& result) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  std::vector<std::uint8_t> buffer(kLargestDatagram);
  for (int looked = 0; looked < kMostDatagramsLookedAt; ++looked) {
    const std::int32_t left = MillisecondsUntil(deadline);
    if (left == 0) return ProbeOutcome::NoAnswer;
    switch (socket_platform::WaitForDatagram(socket, left)) {
      case socket_platform::Readiness::TimedOut:
        // A wait cut short by a signal also lands here; the deadline decides.
        continue;
      case socket_platform::Readiness::Unreachable:
      case socket_platform::Readiness::Failed:
        return ProbeOutcome::Unreachable;
      case socket_platform::Readiness::DatagramQueued:
        break;
    }
    SocketAddress sender;
    const std::int32_t received = socket_platform::ReceiveFrom(socket, buffer.data(), kLargestDatagram, sender);
    if (received < 0) return ProbeOutcome::Unreachable;
    if (sender.sin_port != relay.sin_port) continue;
    result.answerFrom = sender;
    result.answer.assign(buffer.begin(), buffer.begin() + received);
    return ClassifyAnswer(result.answer);
  }
  return ProbeOutcome::NoAnswer;
}

// The socket is connected to the relay port, so that the network's word
// that the Ping cannot be delivered comes back to it at once, as an error,
// rather than the probe waiting out its time.
socket_platform::Reach SendPing(SocketHandle socket, const SocketAddress& relay) {
  if (socket == 0) return socket_platform::Reach::Failed;
  const socket_platform::Reach connected = socket_platform::ConnectSocket(socket, relay);
  if (connected != socket_platform::Reach::Delivered) return connected;
  const ReplyDatagram ping = BuildReply(DatagramType::Ping);
  return socket_platform::SendConnected(socket, ping.data(), static_cast<std::int32_t>(ping.size()));
}

}  // namespace

ProbeOutcome ClassifyAnswer(const std::vector<std::uint8_t>& answer) {
  const ReplyDatagram refusal = BuildReply(DatagramType::LoginFailed);
  const bool isRefusal = answer.size() == refusal.size() && answer[0] == refusal[0];
  return isRefusal ? ProbeOutcome::RelayRunning : ProbeOutcome::OtherAnswer;
}

ProbeResult ProbeRelay(const ProbeArguments& arguments) {
  ProbeResult result;
  if (!StartNetwork()) {
    result.outcome = ProbeOutcome::CannotSend;
    return result;
  }
  result.address = ResolveHost(arguments.host.c_str());
  if (result.address == kUnresolvableAddress) {
    result.outcome = ProbeOutcome::HostNotFound;
  } else {
    const ProbeSocket socket;
    SocketAddress relay;
    relay.sin_family = kAddressFamilyIpv4;
    relay.sin_port = PortToNetworkOrder(static_cast<std::uint16_t>(arguments.port));
    relay.sin_addr = result.address;
    switch (SendPing(socket.handle(), relay)) {
      case socket_platform::Reach::Delivered:
        result.outcome = AwaitAnswer(socket.handle(), relay, arguments.timeoutMilliseconds, result);
        break;
      case socket_platform::Reach::Unreachable:
        result.outcome = ProbeOutcome::Unreachable;
        break;
      case socket_platform::Reach::Failed:
        result.outcome = ProbeOutcome::CannotSend;
        break;
    }
  }
  StopNetwork();
  return result;
}

}  // namespace quorvel::probe
