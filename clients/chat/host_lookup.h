#pragma once

#include <string>

namespace chat {

// Whether this machine can turn the host text into an IPv4 address, the way
// the relay resolves it (a dotted address, else a name lookup).
bool HostCanBeFound(const std::string& host);

}  // namespace chat
