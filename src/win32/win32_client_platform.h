#pragma once

// The local client programs' processes and windows over the platform.

#include <cstddef>
#include <cstdint>

#include "relay/client_platform.h"

namespace quorvel::win32 {

class Win32ClientPlatform final : public ClientPlatform {
 public:
  ProcessHandle OpenProcessForReading(std::uint32_t processId) override;
  bool ReadProcessMemory(ProcessHandle process, std::uintptr_t address, void* buffer, std::size_t length) override;
  NotificationResult SendMessageTimeoutA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                         std::intptr_t lParam, std::uint32_t limitMs) override;
  std::uint32_t WindowProcessId(WindowHandle window) override;
  std::uint32_t CurrentProcessId() override;
};

}  // namespace quorvel::win32
