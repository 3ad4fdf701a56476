#include "service/settings_store.h"

#include "common/reg_key.h"
#include "platform/platform.h"

uint32_t SettingsStore::ApplyLimit(uint32_t value, Limit limit) {
  if (limit == Limit::CacheUsage && value > 25) {
    return 25;  // never above 25
  }
  if (limit == Limit::BasedOnRam && value > 500) {
    return 72;  // above 500 percent falls back to the default
  }
  return value;
}

uint64_t TotalPhysicalBytes() {
  plat::MemoryStatus status{};
  plat::QueryMemoryStatus(status);
  return status.totalPhys;
}

uint32_t DefaultRamAvailable(uint64_t totalBytes) {
  return static_cast<uint32_t>(totalBytes >> 23);
}

uint32_t DefaultMaxCacheSize(uint64_t totalBytes) {
  return static_cast<uint32_t>(((totalBytes / 102400) * 78) & ~uint64_t{511});
}

uint64_t RamAvailableLimit(uint64_t totalBytes) {
  return totalBytes / 1575936;
}

SettingsStore::SettingsStore() {
  const uint64_t total = TotalPhysicalBytes();
  Settings = 0;
  MemoryZipperPlus = 0;
  RamAvailable = DefaultRamAvailable(total);
  DataSafe = 1;
  CacheUsage = 12;
  MaxCacheSize = DefaultMaxCacheSize(total);
  BasedOnRam = 72;
  CacheCheck = 1;

  ReadBasedOnRam();
  ReadCacheUsage();
  ReadCacheCheck();
  ReadSettings();
  ReadDataSafe();
  ReadMaxCacheSize();
  ReadMemoryZipperPlus();
  ReadRamAvailable();
}

bool ReadPolicy(const wchar_t* name, uint32_t& value) {
  RegKey key(plat::kLocalMachine);
  if (!key.OpenToRead(plat::kLocalMachine, kPoliciesKeyPath)) {
    return false;
  }
  uint32_t data = 0;
  uint32_t type = 0;
  uint32_t size = sizeof data;
  if (key.Query(name, &type, &data, &size) != 0 || type != plat::kRegDword || size != sizeof data) {
    return false;
  }
  value = data;
  return true;
}

uint32_t SettingsStore::ReadOrCreate(const wchar_t* name, std::atomic<uint32_t>& field,
                                     Limit limit) {
  field = ApplyLimit(field, limit);
  // A value set by policy wins; the settings key is then left alone.
  if (uint32_t policy = 0; ReadPolicy(name, policy)) {
    field = ApplyLimit(policy, limit);
    return field;
  }
  RegKey key(plat::kLocalMachine);
  key.Open(plat::kLocalMachine, kSettingsKeyPath);

  if (key.Query(name, nullptr, nullptr, nullptr) != 0) {
    // Missing (or unreadable): the held value goes to the registry.
    key.SetDword(name, field);
  } else {
    // Read over the held value, as a short value would leave its upper bytes.
    uint32_t value = field;
    uint32_t type = 0;
    uint32_t size = sizeof value;
    if (key.Query(name, &type, &value, &size) != 0 || type != plat::kRegDword) {
      value = 0;
    }
    // The limited value is held, not written back.
    field = ApplyLimit(value, limit);
  }
  key.Close();
  return field;
}

uint32_t SettingsStore::ReadSettings() {
  return ReadOrCreate(L"Settings", Settings, Limit::None);
}

uint32_t SettingsStore::ReadMemoryZipperPlus() {
  MemoryZipperPlus = 0;
  return ReadOrCreate(L"MemoryZipperPlus", MemoryZipperPlus, Limit::None);
}

uint32_t SettingsStore::ReadRamAvailable() {
  return ReadOrCreate(L"RamAvailable", RamAvailable, Limit::None);
}

uint32_t SettingsStore::ReadAutoOptHour() {
  AutoOptHour = 2;
  return ReadOrCreate(L"AutoOptHour", AutoOptHour, Limit::None);
}

uint32_t SettingsStore::ReadIsAutoOptHour() {
  IsAutoOptHour = 1;
  return ReadOrCreate(L"IsAutoOptHour", IsAutoOptHour, Limit::None);
}

uint32_t SettingsStore::ReadDataSafe() {
  return ReadOrCreate(L"DataSafe", DataSafe, Limit::None);
}

uint32_t SettingsStore::ReadCacheUsage() {
  return ReadOrCreate(L"CacheUsage", CacheUsage, Limit::CacheUsage);
}

uint32_t SettingsStore::ReadMaxCacheSize() {
  return ReadOrCreate(L"MaxCacheSize", MaxCacheSize, Limit::None);
}

uint32_t SettingsStore::ReadBasedOnRam() {
  return ReadOrCreate(L"BasedOnRam", BasedOnRam, Limit::BasedOnRam);
}

uint32_t SettingsStore::ReadCacheCheck() {
  return ReadOrCreate(L"CacheCheck", CacheCheck, Limit::None);
}

uint32_t SettingsStore::WriteRamAvailable(uint32_t megabytes) {
  const uint64_t total = TotalPhysicalBytes();
  // Beyond its limit the threshold becomes half of physical memory.
  if (megabytes > RamAvailableLimit(total)) {
    megabytes = static_cast<uint32_t>(total >> 21);
  }
  RegKey key(plat::kLocalMachine);
  key.Open(plat::kLocalMachine, kSettingsKeyPath);
  key.SetDword(L"RamAvailable", megabytes);
  RamAvailable = megabytes;
  key.Close();
  return megabytes;
}
