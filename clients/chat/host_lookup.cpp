#include "host_lookup.h"

#include <winsock2.h>

namespace chat {

bool HostCanBeFound(const std::string& host) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
  }();
  if (!started) return false;
  if (inet_addr(host.c_str()) != INADDR_NONE) return true;
  const hostent* entry = gethostbyname(host.c_str());
  return entry != nullptr && entry->h_addrtype == AF_INET && entry->h_addr_list[0] != nullptr;
}

}  // namespace chat
