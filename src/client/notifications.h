#pragma once

#include <cstdint>

#include "core/relay.h"
#include "ui/window_events.h"

namespace quorvel {

// The two things the relay tells a client window, with the same message
// numbers clients use toward the relay. Both are synchronous sends: they
// return once the window has handled the message, or at once when the window
// does not exist. Nothing is logged here.

// The client's create command has been carried out: ProcessIdMessage with
// wParam 0 and the relay's own process id, so that the client can open the
// relay's process for reading.
void NotifyLinkUp(Relay& relay, WindowHandle clientWindow);

// A partner has sent text: DataMessage with the address of the text in the
// relay's own memory as wParam (full pointer width) and its length as
// lParam. The bytes stay in place only while the send is under way; the
// client reads them out of the relay's process before it returns.
void NotifyClientData(Relay& relay, WindowHandle clientWindow, const std::uint8_t* text, std::int32_t length);

}  // namespace quorvel
