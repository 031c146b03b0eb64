#pragma once

namespace quorvel::testing {

// A socket platform that keeps everything inside the process (linked
// instead of the real one by the fuzzers and by the tests of refused
// sockets). While refused it opens no socket, as a platform out of sockets
// would.
void RefuseSockets(bool refused);

}  // namespace quorvel::testing
