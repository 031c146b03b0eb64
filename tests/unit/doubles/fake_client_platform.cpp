#include "doubles/fake_client_platform.h"

#include <cstring>

#include "quorvel_wire.h"

namespace quorvel::testing {

ProcessHandle FakeClientPlatform::OpenClientProcess(std::uint32_t processId) {
  opened.push_back(processId);
  auto found = byId_.find(processId);
  if (found == byId_.end() || !byHandle_[found->second].alive) return 0;
  return found->second;
}

bool FakeClientPlatform::ReadClientMemory(ProcessHandle process, std::uintptr_t address, void* buffer,
                                          std::size_t length) {
  auto found = byHandle_.find(process);
  if (found == byHandle_.end() || !found->second.alive) return false;
  for (const auto& [start, bytes] : found->second.regions) {
    if (address >= start && length <= bytes.size() && address - start <= bytes.size() - length) {
      std::memcpy(buffer, bytes.data() + (address - start), length);
      return true;
    }
  }
  return false;
}

NotificationResult FakeClientPlatform::NotifyWindow(WindowHandle window, std::uint32_t message,
                                                    std::uintptr_t wParam, std::intptr_t lParam,
                                                    std::uint32_t limitMs) {
  SentMessage record{window, message, wParam, lParam, {}, limitMs};
  if (message == QV_DATA_MESSAGE && lParam > 0 && wParam != 0) {
    record.pointedBytes.assign(reinterpret_cast<const char*>(wParam), static_cast<std::size_t>(lParam));
  }
  sent.push_back(record);
  if (onSend) onSend(sent.back());
  auto found = unanswered.find(window);
  return {found != unanswered.end() ? found->second : Delivery::Answered, 0};
}

std::uint32_t FakeClientPlatform::WindowOwner(WindowHandle window) {
  auto found = windowOwners_.find(window);
  return found == windowOwners_.end() ? 0 : found->second;
}

void FakeClientPlatform::AddProcess(std::uint32_t processId, ProcessHandle handle) {
  byId_[processId] = handle;
  byHandle_[handle].handle = handle;
}

void FakeClientPlatform::PutMemory(ProcessHandle handle, std::uintptr_t address, std::string bytes) {
  byHandle_[handle].regions[address] = std::move(bytes);
}

void FakeClientPlatform::EndProcessOf(ProcessHandle handle) { byHandle_[handle].alive = false; }

}  // namespace quorvel::testing
