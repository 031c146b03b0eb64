#pragma once

#include <cstdint>

namespace quorvel {

// What the last StartNetwork got back from the sockets library: 0 = started,
// and 0 before any start too. While it is not 0 the transport leaves the
// platform alone (ResolveHost, the address accessors and closing excepted).
// Written and read on the main thread only.
extern std::int32_t NetworkStartError;

}  // namespace quorvel
