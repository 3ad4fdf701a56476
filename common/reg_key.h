// RegKey: a registry key opened, or else created, for the span of one operation.
// Each registry call runs under a fault guard of its own, so that a fault never
// leaves an operation while it holds the key: a faulting call simply fails.
#pragma once

#include <cstdint>

#include "platform/handles.h"
#include "platform/platform.h"

// Rights of the settings store: standard rights with query, set, create
// sub-key, enumerate and notify.
inline constexpr uint32_t kSettingsKeyAccess = 0xF001F;
// Rights of the tray's autostart writer: the same without enumerate.
inline constexpr uint32_t kAutostartKeyAccess = 0xF001B;
// The right to read values only: what is left when a key may not be written.
inline constexpr uint32_t kKeyQueryValue = 0x1;

class RegKey {
 public:
  // `root` is where Open starts from; a null root stands for HKEY_CURRENT_USER.
  explicit RegKey(plat::RegHandle root, uint32_t accessMask = kSettingsKeyAccess);
  ~RegKey();

  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Opens root\path, or creates it when the open fails, or else opens it for
  // reading only (writes then fail); true when any of these worked.
  bool Open(plat::RegHandle root, const wchar_t* path);

  // Opens an existing root\path for reading its values only; never creates it.
  // True when it was opened.
  bool OpenToRead(plat::RegHandle root, const wchar_t* path);

  // Closes the key if one is open. Closing twice does nothing.
  void Close();

  // Writes a REG_DWORD value; true on success.
  bool SetDword(const wchar_t* name, uint32_t value);

  // Writes a REG_SZ value, its size counting the terminating zero; true on success.
  bool SetString(const wchar_t* name, const wchar_t* text);

  // Reads a value of the open key (RegQueryValueExW); with no type, data and
  // size it probes whether the value exists. The platform's status, 0 on success.
  int32_t Query(const wchar_t* name, uint32_t* type, void* data, uint32_t* size);

  // The open key, or null.
  plat::RegHandle handle() const { return key_.get(); }
  const wchar_t* subKeyPath() const { return subKeyPath_; }
  uint32_t accessMask() const { return accessMask_; }

 private:
  plat::RegHandle root_;
  plat::UniqueKey key_;
  wchar_t subKeyPath_[512];
  uint32_t accessMask_;
};
