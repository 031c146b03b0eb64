#pragma once

#include <windows.h>

#include <cstddef>

namespace qvtest {

// A block of memory inside another process, so that messages whose
// parameters point at memory (tree view items) can be sent to that process's
// windows. Freed with the object.
class RemoteBuffer {
 public:
  RemoteBuffer(DWORD processId, std::size_t size);
  ~RemoteBuffer();
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool valid() const { return address_ != nullptr; }
  // The block's address as the other process sees it.
  void* address() const { return address_; }
  bool Write(std::size_t offset, const void* bytes, std::size_t count);
  bool Read(std::size_t offset, void* bytes, std::size_t count) const;

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qvtest
