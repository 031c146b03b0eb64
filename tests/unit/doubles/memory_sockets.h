#pragma once

namespace quorvel::fuzzing {

// While refused, the fuzzing builds' sockets platform opens no socket, as a
// platform out of sockets would.
void RefuseSockets(bool refused);

}  // namespace quorvel::fuzzing
