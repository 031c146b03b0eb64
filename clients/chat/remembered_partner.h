#pragma once

// The partner's host and name number, kept for this user between runs of the
// chat window (HKEY_CURRENT_USER\Software\Quorvel\QuorvelChat).

#include <cstdint>
#include <optional>
#include <string>

namespace chat {

struct RememberedPartner {
  std::string host;
  std::int32_t nameId = 0;
};

// The partner of the last pairing, if any was kept.
std::optional<RememberedPartner> LoadRememberedPartner();

// Keeps the partner for the next run. Nothing is reported: a chat that
// cannot keep it works all the same, the fields are only empty next time.
void RememberPartner(const RememberedPartner& partner);

}  // namespace chat
