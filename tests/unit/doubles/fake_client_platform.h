#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "relay/client_platform.h"

namespace quorvel::testing {

// Client processes with memory regions that the relay may read, and client
// windows that record every message sent to them, including the bytes a
// QV_DATA_MESSAGE points at, read while the message is being delivered. A window
// in `unanswered` records the message but answers with the delivery given there.
class FakeClientPlatform : public ClientPlatform {
 public:
  struct SentMessage {
    WindowHandle window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    std::string pointedBytes;  // QV_DATA_MESSAGE: lParam bytes at wParam in the relay's own memory
    std::uint32_t limitMs;
  };

  ProcessHandle OpenClientProcess(std::uint32_t processId) override;
  bool ReadClientMemory(ProcessHandle process, std::uintptr_t address, void* buffer, std::size_t length) override;
  NotificationResult NotifyWindow(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam, std::uint32_t limitMs) override;
  std::uint32_t WindowOwner(WindowHandle window) override;
  std::uint32_t RelayProcessId() override { return relayProcessId; }

  // A process that can be opened under `processId` and then answers with
  // `handle`. Its memory is what PutMemory places in it.
  void AddProcess(std::uint32_t processId, ProcessHandle handle);
  void PutMemory(ProcessHandle handle, std::uintptr_t address, std::string bytes);
  void EndProcessOf(ProcessHandle handle);  // reads fail from now on
  // A window owned by the process `processId`, until DestroyWindow.
  void AddWindow(WindowHandle window, std::uint32_t processId) { windowOwners_[window] = processId; }
  void DestroyWindow(WindowHandle window) { windowOwners_.erase(window); }

  std::uint32_t relayProcessId = 4242;
  std::vector<SentMessage> sent;
  std::vector<std::uint32_t> opened;  // process ids asked for
  std::function<void(const SentMessage&)> onSend;  // runs inside the send
  std::map<WindowHandle, Delivery> unanswered;

 private:
  struct Process {
    ProcessHandle handle;
    bool alive = true;
    std::map<std::uintptr_t, std::string> regions;
  };
  std::map<std::uint32_t, ProcessHandle> byId_;
  std::map<ProcessHandle, Process> byHandle_;
  std::map<WindowHandle, std::uint32_t> windowOwners_;
};

}  // namespace quorvel::testing
