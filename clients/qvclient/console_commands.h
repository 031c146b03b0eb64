#pragma once

#include <string>

#include "quorvel_client.h"

namespace qvclient {

// Runs one command line against the relay and writes its outcome:
//   connect [MS]          wait up to MS ms for the relay, then announce
//   create NAMEID HOST    pair with the partner
//   login                 log in at the partner's relay
//   send TEXT             the rest of the line, byte for byte
//   sendhex HEX           any bytes, as hexadecimal
//   reports on|off        have the relay report texts that wait, or stop
//   quit                  end the relay
//   exit                  end this program
// Each answers "ok <command>" or "error <command> <reason> <sentence>".
// Returns false when the program is to end.
bool RunCommand(qv_client& client, const std::string& line);

}  // namespace qvclient
