#include "remote_buffer.h"

namespace qvtest {

RemoteBuffer::RemoteBuffer(DWORD processId, std::size_t size) : size_(size) {
  process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process_ == nullptr) return;
  address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer() {
  if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  if (process_ != nullptr) CloseHandle(process_);
}

bool RemoteBuffer::Write(std::size_t offset, const void* bytes, std::size_t count) {
  if (!valid() || offset > size_ || count > size_ - offset) return false;
  SIZE_T written = 0;
  return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, bytes, count, &written) &&
         written == count;
}

bool RemoteBuffer::Read(std::size_t offset, void* bytes, std::size_t count) const {
  if (!valid() || offset > size_ || count > size_ - offset) return false;
  SIZE_T read = 0;
  return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, bytes, count, &read) && read == count;
}

}  // namespace qvtest
