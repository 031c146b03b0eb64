#pragma once

#include <string>

namespace qvclient {

// Standard output in binary mode, one event per line, flushed at once so
// that a script reading the pipe sees each event as it happens.
void UseBinaryStreams();
void WriteEvent(const std::string& line);

}  // namespace qvclient
