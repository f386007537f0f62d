#pragma once
// Owner of one Windows Installer handle (summary, view or record): closed on every path out
// of the scope that asked for it.

#include <utility>

#include "setup/installer/msi_library.h"

namespace setup {

class ScopedMsiHandle {
 public:
  ScopedMsiHandle(const MsiLibrary& msi, MsiHandle handle) : msi_(&msi), handle_(handle) {}
  ~ScopedMsiHandle() { Close(); }
  ScopedMsiHandle(ScopedMsiHandle&& other) noexcept
      : msi_(other.msi_), handle_(std::exchange(other.handle_, 0)) {}
  ScopedMsiHandle(const ScopedMsiHandle&) = delete;
  ScopedMsiHandle& operator=(const ScopedMsiHandle&) = delete;
  ScopedMsiHandle& operator=(ScopedMsiHandle&&) = delete;

  MsiHandle get() const { return handle_; }
  // Closing through a record whose MsiCloseHandle is missing still forgets the handle.
  void Close() {
    if (handle_ != 0) msi_->CloseHandle(std::exchange(handle_, 0));
  }

 private:
  const MsiLibrary* msi_;
  MsiHandle handle_;
};

}  // namespace setup
