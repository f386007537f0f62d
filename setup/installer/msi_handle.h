#pragma once
// Owner of one Windows Installer handle (database, summary, view or record): closed on every
// path out of its owner's life, or earlier by Close().

#include <utility>

#include "setup/installer/msi_library.h"

namespace setup {

class ScopedMsiHandle {
 public:
  ScopedMsiHandle() = default;
  ScopedMsiHandle(const MsiLibrary& msi, MsiHandle handle) : msi_(&msi), handle_(handle) {}
  ~ScopedMsiHandle() { Close(); }
  ScopedMsiHandle(ScopedMsiHandle&& other) noexcept
      : msi_(other.msi_), handle_(std::exchange(other.handle_, 0)) {}
  ScopedMsiHandle& operator=(ScopedMsiHandle&& other) noexcept {
    if (this != &other) {
      Close();
      msi_ = other.msi_;
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }
  ScopedMsiHandle(const ScopedMsiHandle&) = delete;
  ScopedMsiHandle& operator=(const ScopedMsiHandle&) = delete;

  MsiHandle get() const { return handle_; }
  // A library whose MsiCloseHandle is missing cannot close the handle; it is forgotten all the
  // same, so that nothing later closes a number that may have been given out again.
  void Close() {
    if (handle_ != 0) msi_->CloseHandle(std::exchange(handle_, 0));
  }

 private:
  const MsiLibrary* msi_ = nullptr;
  MsiHandle handle_ = 0;
};

}  // namespace setup
