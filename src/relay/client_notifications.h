#pragma once

// The two things the relay tells a client window, with the same message
// numbers clients use toward the relay.

#include <cstdint>

#include "base/handles.h"
#include "quorvel_wire.h"

namespace quorvel {

struct Relay;
struct VirtualServer;

// Both are synchronous sends that wait at most kNotificationLimitMs, and not
// at all for a window whose thread is hung, so one stuck client cannot stop
// the relay; they return at once when the window does not exist. A window
// that does not answer in time is logged; nothing else is logged here.
//
// As long as the system waits before it calls a window hung, so a window it
// does not call hung gets the whole time.
inline constexpr std::uint32_t kNotificationLimitMs = 5000;

// The client's create command has been carried out: the process-id message
// with wParam 0 and the relay's own process id, so that the client can open
// the relay's process for reading.
void NotifyLinkUp(Relay& relay, WindowHandle clientWindow);

// A partner has sent text: the data message with the address of the text in
// the relay's own memory as wParam (full pointer width) and its length as
// lParam. The client reads the bytes out of the relay's process before it
// returns. When the text lies in the receive buffer and the window does not
// answer in time, that buffer is held for the window, unchanged, and the
// relay receives into fresh bytes of the same size from then on.
void NotifyClientData(Relay& relay, WindowHandle clientWindow, const std::uint8_t* text, std::int32_t length);

// What became of a text that the partner's relay did not take at once.
enum class TextReport : std::uint32_t {
  Waiting = QV_REPORT_WAITING,
  SentLater = QV_REPORT_SENT_LATER,
  Dropped = QV_REPORT_DROPPED,
};

// Tells the entry's client window about its text `textNumber`: the report
// message with the report as wParam and the number as lParam. Only a client
// that asked for reports gets one; every other client sees nothing.
void NotifyTextReport(Relay& relay, const VirtualServer& entry, TextReport report, std::uint32_t textNumber);

}  // namespace quorvel
