#include "common/reg_key.h"

#include <cwchar>
#include <iterator>

RegKey::RegKey(plat::RegHandle root, uint32_t accessMask)
    : hKey_(root != nullptr ? root : plat::kCurrentUser), subKeyPath_{}, accessMask_(accessMask) {}

RegKey::~RegKey() {
  Close();
}

bool RegKey::Open(plat::RegHandle root, const wchar_t* path) {
  Close();
  std::wmemset(subKeyPath_, 0, std::size(subKeyPath_));
  std::wcsncpy(subKeyPath_, path, std::size(subKeyPath_) - 1);

  if (plat::RegOpen(root, path, accessMask_, hKey_) == 0) {
    isOpen_ = true;
    return true;
  }
  const plat::RegHandle createRoot = root != nullptr ? root : plat::kCurrentUser;
  if (plat::RegCreate(createRoot, path, accessMask_, hKey_) == 0) {
    isOpen_ = true;
    return true;
  }
  // A key the program may only read (an administrator made it read-only) is
  // still read: every write on it then fails.
  if (plat::RegOpen(createRoot, path, kKeyQueryValue, hKey_) == 0) {
    isOpen_ = true;
    return true;
  }
  // A key that could not be opened at all leaves no handle behind; the reads
  // and writes that follow then fail instead of landing on the root.
  return false;
}

void RegKey::Close() {
  if (isOpen_ && hKey_ != nullptr) {
    plat::RegClose(hKey_);
    std::wmemset(subKeyPath_, 0, std::size(subKeyPath_));
  }
  hKey_ = nullptr;
  isOpen_ = false;
}

bool RegKey::SetDword(const wchar_t* name, uint32_t value) {
  return plat::RegSet(handle(), name, plat::kRegDword, &value, sizeof value) == 0;
}

bool RegKey::SetString(const wchar_t* name, const wchar_t* text) {
  // The stored size counts the terminating zero.
  const auto bytes = static_cast<uint32_t>((std::wcslen(text) + 1) * sizeof(wchar_t));
  return plat::RegSet(handle(), name, plat::kRegSz, text, bytes) == 0;
}
