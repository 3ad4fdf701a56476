// SettingsStore: the service's ten tuning settings, held in the registry as
// DWORD values and read or created one at a time.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "common/shared_names.h"

// Where a held value came from at its last read.
enum class SettingSource : uint8_t {
  Default,   // missing under the settings key, so the held value was written there
  Registry,  // read from the settings key
  Policy,    // read under the policies key
};

class SettingsStore {
 public:
  // The ten settings, in the order of the held values below.
  enum class Setting : uint8_t {
    Settings,
    MemoryZipperPlus,
    RamAvailable,
    AutoOptHour,
    IsAutoOptHour,
    DataSafe,
    CacheUsage,
    MaxCacheSize,
    BasedOnRam,
    CacheCheck,
  };
  static constexpr size_t kSettingCount = 10;

  // Sets the defaults (several from the amount of physical memory) and reads or
  // creates eight of the values.
  SettingsStore();

  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Each accessor writes the held value when the registry value is missing and
  // otherwise reads it; it returns the value held afterwards.
  uint32_t ReadSettings();
  uint32_t ReadMemoryZipperPlus();
  uint32_t ReadRamAvailable();
  uint32_t ReadAutoOptHour();
  uint32_t ReadIsAutoOptHour();
  uint32_t ReadDataSafe();
  uint32_t ReadCacheUsage();
  uint32_t ReadMaxCacheSize();
  uint32_t ReadBasedOnRam();
  uint32_t ReadCacheCheck();

  // Stores a new memory-zipper threshold in MB, limited by physical memory, in
  // the registry and the store; returns the value stored.
  uint32_t WriteRamAvailable(uint32_t megabytes);

  // Where the held value of `setting` came from at its last read. A value the
  // store wrote because it was missing stays a default for as long as the
  // settings key holds what was written. Default before the first read.
  SettingSource SourceOf(Setting setting) const {
    return sources_[static_cast<size_t>(setting)].load();
  }

  // The held values. A reload on the control thread and a tick may use the
  // store at the same time; each value is read and written whole.
  std::atomic<uint32_t> Settings{0};
  std::atomic<uint32_t> MemoryZipperPlus{0};
  std::atomic<uint32_t> RamAvailable{0};
  std::atomic<uint32_t> AutoOptHour{0};
  std::atomic<uint32_t> IsAutoOptHour{0};
  std::atomic<uint32_t> DataSafe{0};
  std::atomic<uint32_t> CacheUsage{0};
  std::atomic<uint32_t> MaxCacheSize{0};
  std::atomic<uint32_t> BasedOnRam{0};
  std::atomic<uint32_t> CacheCheck{0};

 private:
  // The rule an accessor applies to the held value before the probe and after a read.
  enum class Limit { None, CacheUsage, BasedOnRam };

  static uint32_t ApplyLimit(uint32_t value, Limit limit);
  uint32_t ReadOrCreate(const wchar_t* name, Setting setting, std::atomic<uint32_t>& field,
                        Limit limit);

  std::array<std::atomic<SettingSource>, kSettingCount> sources_{};
  // Whether the value the settings key holds is the default this store wrote.
  std::array<std::atomic<bool>, kSettingCount> wroteDefaults_{};
};

// Total physical memory in bytes, as the plain memory-status call reports it.
uint64_t TotalPhysicalBytes();

// The default memory-zipper threshold for `totalBytes` of physical memory: total MB / 8.
uint32_t DefaultRamAvailable(uint64_t totalBytes);

// The default maximum cache of the fixed mode, in KB: 78 percent of physical
// memory, a multiple of 512.
uint32_t DefaultMaxCacheSize(uint64_t totalBytes);

// The largest memory-zipper threshold, in MB, the store keeps as given (the
// divisor is 1.5 MB and 3 KB: about two thirds of physical memory).
uint64_t RamAvailableLimit(uint64_t totalBytes);

// The value `name` as Group Policy sets it: a 4-byte REG_DWORD under the
// policies key. False when there is none; such a value wins over the settings
// key. Nothing ever writes under the policies key.
bool ReadPolicy(const wchar_t* name, uint32_t& value);
