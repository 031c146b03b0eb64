#pragma once

// The local client programs' processes and windows over the platform.

#include <cstddef>
#include <cstdint>

#include "relay/client_platform.h"

namespace quorvel::win32 {

class Win32ClientPlatform final : public ClientPlatform {
 public:
  ProcessHandle OpenClientProcess(std::uint32_t processId) override;
  bool ReadClientMemory(ProcessHandle process, std::uintptr_t address, void* buffer, std::size_t length) override;
  NotificationResult NotifyWindow(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam, std::uint32_t limitMs) override;
  std::uint32_t WindowOwner(WindowHandle window) override;
  std::uint32_t RelayProcessId() override;
};

}  // namespace quorvel::win32
