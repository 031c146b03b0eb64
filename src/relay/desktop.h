#pragma once

// What the relay asks of the operator's desktop: the main window with its
// event poll and the main loop's wait, the error box and the end of the
// process. The Win32 build implements it over the window manager; unit tests
// use a double.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/handles.h"
#include "log/debug_log.h"

namespace quorvel {

// Result of the window callback meaning "not consumed; default processing".
inline constexpr std::uint32_t NotHandled = 0xE0E0E0E1u;

// What the desktop asks of the relay by its windows: nothing, or to end,
// and by which way. Each way of ending has its own line in the log, so that
// a log without one tells of a crash.
enum class EndRequest {
  None,
  Close,       // the main window got a close request
  EndCommand,  // the operator chose "end" in the notification-area icon's menu
  SessionEnd,  // the user's session ends
};

class Desktop {
 public:
  // (message number, wParam, lParam) -> result, or NotHandled.
  using WindowCallback =
      std::function<std::uint32_t(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;

  struct MainWindow {
    WindowHandle window = 0;     // 0 when the platform refused the window
    LogView* logView = nullptr;  // null unless created with the log
  };

  virtual ~Desktop() = default;

  // Creates the window titled "Quorvel.exe": visible with the log tree when
  // `withLog`, hidden and without a tree otherwise.
  virtual MainWindow CreateMainWindow(bool withLog) = 0;
  // Every message of the main window goes to `callback` first from now on.
  virtual void InstallCallback(WindowCallback callback) = 0;
  // What the notification-area icon offers: its tooltip names the port; its
  // menu shows or hides the main window when that has the log, and opens the
  // log file when one is written.
  struct NotificationIcon {
    std::int32_t port = 0;
    bool withLog = false;
    std::string logFile;  // as the settings name it; empty: none
  };

  // Takes at most one queued message without waiting, and delivers the
  // messages other programs have sent meanwhile. Reports a close request or
  // the icon's end command that came meanwhile; never SessionEnd.
  virtual EndRequest PollWindowEvent() = 0;
  // The main loop's one wait, without a time limit. Returns when a message
  // for the main thread is there (posted, or sent by another program; one
  // that an earlier poll has already seen counts too) or one of
  // `datagramHandles` is signalled (DatagramWait::handles: Win32 events, set
  // when a datagram arrives); at once when either already is, or when a
  // close request is recorded that no queued message will carry to the next
  // poll. Nested loops (an error box, a notification) never wait on them.
  // Returns the index of the handle that ended the wait; the number of
  // handles when something else did.
  virtual std::size_t WaitForWork(std::span<const std::intptr_t> datagramHandles) = 0;
  // Tells the running clients that a relay has started and can be reached:
  // posted to every top-level window, so that no hung window holds the
  // relay up.
  virtual void AnnounceStart() = 0;
  // Runs `end` when the user's session ends, before the window answers: the
  // system may end the process any time after that answer.
  virtual void InstallSessionEndHandler(std::function<void()> end) = 0;
  // Puts the relay's icon into the notification area until the main window
  // is destroyed, and back whenever the taskbar restarts.
  virtual void ShowNotificationIcon(const NotificationIcon& icon) = 0;
  // Modal box with an OK button; returns when the operator dismissed it.
  virtual void ErrorBox(const char* caption, const char* text) = 0;
  // Destroys the main window, unregisters its class and takes the icon away.
  virtual void DestroyMainWindow() = 0;
  // Ends the process with exit code 0.
  [[noreturn]] virtual void EndProcess() = 0;
};

}  // namespace quorvel
