#pragma once

// One event in the debug log: its header line and the group of the lines
// written while it lasts.

#include "log/debug_log.h"

namespace quorvel {

// Writes the header and opens its group; the group ends with End() or, at
// the latest, when the event goes out of scope. Handlers that must end it
// early (before a client window is notified, say) take it by reference.
class LogEvent {
 public:
  LogEvent(DebugLog& log, const char* header) : log_(log) { Begin(header); }
  ~LogEvent() { End(); }
  LogEvent(const LogEvent&) = delete;
  LogEvent& operator=(const LogEvent&) = delete;

  void End() {
    if (open_) log_.CloseGroup();
    open_ = false;
  }
  // Ends this event and begins the next one in its place, which the scope
  // then ends.
  void Next(const char* header) {
    End();
    Begin(header);
  }

 private:
  void Begin(const char* header) {
    log_.Line("%s", header);
    log_.OpenGroup();
    open_ = true;
  }

  DebugLog& log_;
  bool open_ = false;
};

}  // namespace quorvel
