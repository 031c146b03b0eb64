#pragma once

// What the relay asks of the local client programs' processes and windows:
// reading their records, notifying their windows, knowing who owns a window.

#include <cstddef>
#include <cstdint>

#include "base/handles.h"

namespace quorvel {

// What a send to a client window came to.
enum class Delivery {
  Answered,
  NotTaken,  // the window is gone, or was hung already: it never got the message
  NoAnswer,  // no answer within the limit: the window may still be handling it
};

struct NotificationResult {
  Delivery delivery;
  std::intptr_t value;  // the window's result when it answered
};

// The Win32 build implements it over OpenProcess, ReadProcessMemory,
// SendMessageTimeoutA and GetWindowThreadProcessId; unit tests use a double.
class ClientPlatform {
 public:
  virtual ~ClientPlatform() = default;

  // OpenProcess with PROCESS_VM_READ; 0 when the process cannot be opened.
  virtual ProcessHandle OpenClientProcess(std::uint32_t processId) = 0;
  // Copies `length` bytes at `address` in `process` into `buffer`; true only
  // when all of them could be read.
  virtual bool ReadClientMemory(ProcessHandle process, std::uintptr_t address, void* buffer,
                                std::size_t length) = 0;
  // Synchronous send to a client window that gives up after `limitMs`, and
  // does not send at all to a window that is gone or whose thread is hung.
  // While it waits, messages sent to the relay's own window are still
  // delivered.
  virtual NotificationResult NotifyWindow(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                          std::intptr_t lParam, std::uint32_t limitMs) = 0;
  // The id of the process that owns `window`; 0 when there is no such window.
  virtual std::uint32_t WindowOwner(WindowHandle window) = 0;
  // The relay's own process id, which clients open to read its texts.
  virtual std::uint32_t RelayProcessId() = 0;
};

}  // namespace quorvel
