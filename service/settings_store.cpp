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

uint32_t SettingsStore::ReadOrCreate(const wchar_t* name, Setting setting,
                                     std::atomic<uint32_t>& field, Limit limit) {
  std::atomic<SettingSource>& source = sources_[static_cast<size_t>(setting)];
  std::atomic<bool>& wroteDefault = wroteDefaults_[static_cast<size_t>(setting)];
  field = ApplyLimit(field, limit);
  // A value set by policy wins; the settings key is then left alone.
  if (uint32_t policy = 0; ReadPolicy(name, policy)) {
    field = ApplyLimit(policy, limit);
    source = SettingSource::Policy;
    wroteDefault = false;
    return field;
  }
  RegKey key(plat::kLocalMachine);
  key.Open(plat::kLocalMachine, kSettingsKeyPath);

  if (key.Query(name, nullptr, nullptr, nullptr) != 0) {
    // Missing (or unreadable): the held value goes to the registry.
    key.SetDword(name, field);
    source = SettingSource::Default;
    wroteDefault = true;
  } else {
    // Read over the held value, as a short value would leave its upper bytes.
    const uint32_t held = field;
    uint32_t value = held;
    uint32_t type = 0;
    uint32_t size = sizeof value;
    const bool read = key.Query(name, &type, &value, &size) == 0 && type == plat::kRegDword;
    if (!read) {
      value = 0;
    }
    // A default this store wrote is still one while the key holds it unchanged.
    if (!read || !wroteDefault || value != held) {
      source = SettingSource::Registry;
      wroteDefault = false;
    }
    // The limited value is held, not written back.
    field = ApplyLimit(value, limit);
  }
  key.Close();
  return field;
}

uint32_t SettingsStore::ReadSettings() {
  return ReadOrCreate(L"Settings", Setting::Settings, Settings, Limit::None);
}

uint32_t SettingsStore::ReadMemoryZipperPlus() {
  MemoryZipperPlus = 0;
  return ReadOrCreate(L"MemoryZipperPlus", Setting::MemoryZipperPlus, MemoryZipperPlus,
                      Limit::None);
}

uint32_t SettingsStore::ReadRamAvailable() {
  return ReadOrCreate(L"RamAvailable", Setting::RamAvailable, RamAvailable, Limit::None);
}

uint32_t SettingsStore::ReadAutoOptHour() {
  AutoOptHour = 2;
  return ReadOrCreate(L"AutoOptHour", Setting::AutoOptHour, AutoOptHour, Limit::None);
}

uint32_t SettingsStore::ReadIsAutoOptHour() {
  IsAutoOptHour = 1;
  return ReadOrCreate(L"IsAutoOptHour", Setting::IsAutoOptHour, IsAutoOptHour, Limit::None);
}

uint32_t SettingsStore::ReadDataSafe() {
  return ReadOrCreate(L"DataSafe", Setting::DataSafe, DataSafe, Limit::None);
}

uint32_t SettingsStore::ReadCacheUsage() {
  return ReadOrCreate(L"CacheUsage", Setting::CacheUsage, CacheUsage, Limit::CacheUsage);
}

uint32_t SettingsStore::ReadMaxCacheSize() {
  return ReadOrCreate(L"MaxCacheSize", Setting::MaxCacheSize, MaxCacheSize, Limit::None);
}

uint32_t SettingsStore::ReadBasedOnRam() {
  return ReadOrCreate(L"BasedOnRam", Setting::BasedOnRam, BasedOnRam, Limit::BasedOnRam);
}

uint32_t SettingsStore::ReadCacheCheck() {
  return ReadOrCreate(L"CacheCheck", Setting::CacheCheck, CacheCheck, Limit::None);
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
