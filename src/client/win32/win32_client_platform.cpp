#include "client/win32/win32_client_platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

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

std::intptr_t Win32ClientPlatform::SendMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                                std::intptr_t lParam) {
  // Both parameters keep their full width: wParam may be an address.
  return ::SendMessageA(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam));
}

std::uint32_t Win32ClientPlatform::WindowProcessId(WindowHandle window) {
  DWORD processId = 0;
  if (GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &processId) == 0) return 0;
  return processId;
}

std::uint32_t Win32ClientPlatform::CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace quorvel::win32
