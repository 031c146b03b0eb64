// The local client programs' processes and windows over the platform.

#include "win32/win32_client_platform.h"

#include "win32/windows_api.h"

namespace quorvel::win32 {

ProcessHandle Win32ClientPlatform::OpenProcessForReading(std::uint32_t processId) {
  return reinterpret_cast<ProcessHandle>(OpenProcess(PROCESS_VM_READ, FALSE, processId));
}

bool Win32ClientPlatform::ReadProcessMemory(ProcessHandle process, std::uintptr_t address, void* buffer,
                                            std::size_t length) {
  SIZE_T bytesRead = 0;
  const BOOL read = ::ReadProcessMemory(reinterpret_cast<HANDLE>(process), reinterpret_cast<LPCVOID>(address),
                                        buffer, length, &bytesRead);
  return read != FALSE && bytesRead == length;
}

NotificationResult Win32ClientPlatform::SendMessageTimeoutA(WindowHandle window, std::uint32_t message,
                                                            std::uintptr_t wParam, std::intptr_t lParam,
                                                            std::uint32_t limitMs) {
  // Not SMTO_BLOCK: while it waits, the relay's thread must go on taking the
  // messages clients send to its own window, as a plain SendMessageA does.
  // Both parameters keep their full width: wParam may be an address.
  // A window that is hung already is not sent to, as SMTO_ABORTIFHUNG would
  // do, but then it is known that the message never reached it. Whether the
  // window exists is asked only after a send failed: the send itself ends at
  // once for a missing window, and each question is a trip to the window
  // manager on every text.
  const HWND target = reinterpret_cast<HWND>(window);
  if (IsHungAppWindow(target) != FALSE) return {Delivery::NotTaken, 0};
  DWORD_PTR value = 0;
  if (::SendMessageTimeoutA(target, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam),
                            SMTO_ABORTIFHUNG, limitMs, &value) != 0) {
    return {Delivery::Answered, static_cast<std::intptr_t>(value)};
  }
  return {IsWindow(target) != FALSE ? Delivery::NoAnswer : Delivery::NotTaken, 0};
}

std::uint32_t Win32ClientPlatform::WindowProcessId(WindowHandle window) {
  DWORD processId = 0;
  if (GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &processId) == 0) return 0;
  return processId;
}

std::uint32_t Win32ClientPlatform::CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace quorvel::win32
