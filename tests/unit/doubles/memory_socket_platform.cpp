// Sockets that never reach the network: no packet leaves the process and no
// name is looked up, whatever a fuzzer puts into a datagram or a client
// record. Sends copy what they are given, so that a sanitizer
// sees every byte the relay hands over; nothing is ever received.

#include <arpa/inet.h>

#include <cstring>
#include <vector>

#include "net/socket_platform.h"
#include "net/socket_probing.h"
#include "doubles/memory_sockets.h"

namespace quorvel {

namespace {
SocketHandle lastSocket = 0;
bool socketsRefused = false;
}  // namespace

void testing::RefuseSockets(bool refused) { socketsRefused = refused; }

namespace socket_platform {

std::int32_t StartSocketLibrary() { return 0; }
void StopSocketLibrary() {}

SocketHandle OpenDatagramSocket() { return socketsRefused ? 0 : ++lastSocket; }
bool BindSocket(SocketHandle socket, const SocketAddress&) { return socket != 0; }
std::uint16_t BoundPort(SocketHandle) { return 0; }
void CloseSocket(SocketHandle) {}
bool RequestReceiveQueue(SocketHandle, std::int32_t) { return true; }
std::int32_t ReceiveQueueSize(SocketHandle) { return -1; }

bool SendTo(SocketHandle socket, const void* data, std::int32_t length, const SocketAddress&) {
  if (socket == 0 || length < 0) return false;
  std::vector<unsigned char> sent(static_cast<std::size_t>(length));
  if (length > 0) std::memcpy(sent.data(), data, sent.size());
  return true;
}

WaitHandle WatchForDatagrams(SocketHandle socket, WaitHandle) { return socket; }
Reach ConnectSocket(SocketHandle socket, const SocketAddress&) { return socket != 0 ? Reach::Delivered : Reach::Failed; }
std::int32_t ReceiveFrom(SocketHandle, void*, std::int32_t, SocketAddress&) { return kNothingQueued; }
Readiness WaitForDatagram(SocketHandle, std::int32_t) { return Readiness::TimedOut; }

std::uint32_t ParseDottedAddress(const char* text) { return ::inet_addr(text); }

// Two names are known; every other one is not found.
bool LookUpHost(const char* name, std::uint32_t& firstAddress) {
  if (std::strcmp(name, "localhost") == 0) {
    firstAddress = ::inet_addr("127.0.0.1");
    return true;
  }
  if (std::strcmp(name, "partner") == 0) {
    firstAddress = ::inet_addr("10.0.0.5");
    return true;
  }
  return false;
}

}  // namespace socket_platform
}  // namespace quorvel
