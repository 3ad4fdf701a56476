#include "common/reg_key.h"

#include <cwchar>
#include <iterator>

namespace {

// What a registry call that faulted answers: the platform's "invalid access to
// memory location".
constexpr int32_t kErrorNoAccess = 998;

// Runs one registry call under a guard; a fault reads as a failed call.
template <typename Call>
int32_t GuardedStatus(Call call) {
  int32_t status = kErrorNoAccess;
  plat::Guarded([&] { status = call(); });
  return status;
}

}  // namespace

RegKey::RegKey(plat::RegHandle root, uint32_t accessMask)
    : root_(root != nullptr ? root : plat::kCurrentUser), subKeyPath_{}, accessMask_(accessMask) {}

RegKey::~RegKey() {
  Close();
}

bool RegKey::Open(plat::RegHandle root, const wchar_t* path) {
  Close();
  std::wmemset(subKeyPath_, 0, std::size(subKeyPath_));
  std::wcsncpy(subKeyPath_, path, std::size(subKeyPath_) - 1);

  if (GuardedStatus([&] { return plat::RegOpen(root, path, accessMask_, *key_.put()); }) == 0) {
    return true;
  }
  const plat::RegHandle createRoot = root != nullptr ? root : plat::kCurrentUser;
  if (GuardedStatus([&] { return plat::RegCreate(createRoot, path, accessMask_, *key_.put()); }) ==
      0) {
    return true;
  }
  // A key the program may only read (an administrator made it read-only) is
  // still read: every write on it then fails.
  if (GuardedStatus([&] { return plat::RegOpen(createRoot, path, kKeyQueryValue, *key_.put()); }) ==
      0) {
    return true;
  }
  // A key that could not be opened at all leaves no handle behind; the reads
  // and writes that follow then fail instead of landing on the root.
  return false;
}

bool RegKey::OpenToRead(plat::RegHandle root, const wchar_t* path) {
  Close();
  std::wmemset(subKeyPath_, 0, std::size(subKeyPath_));
  std::wcsncpy(subKeyPath_, path, std::size(subKeyPath_) - 1);
  return GuardedStatus([&] { return plat::RegOpen(root, path, kKeyQueryValue, *key_.put()); }) == 0;
}

void RegKey::Close() {
  if (key_) {
    plat::Guarded([this] { key_.reset(); });
    std::wmemset(subKeyPath_, 0, std::size(subKeyPath_));
  }
}

bool RegKey::SetDword(const wchar_t* name, uint32_t value) {
  return GuardedStatus([&] {
           return plat::RegSet(handle(), name, plat::kRegDword, &value, sizeof value);
         }) == 0;
}

bool RegKey::SetString(const wchar_t* name, const wchar_t* text) {
  // The stored size counts the terminating zero.
  const auto bytes = static_cast<uint32_t>((std::wcslen(text) + 1) * sizeof(wchar_t));
  return GuardedStatus([&] { return plat::RegSet(handle(), name, plat::kRegSz, text, bytes); }) ==
         0;
}

int32_t RegKey::Query(const wchar_t* name, uint32_t* type, void* data, uint32_t* size) {
  return GuardedStatus([&] { return plat::RegQuery(handle(), name, type, data, size); });
}
