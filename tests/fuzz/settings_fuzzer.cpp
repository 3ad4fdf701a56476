// The settings' read-or-create accessors fed registry values of every type and
// size, on machines of every memory size, with the tuner built on top and
// ticking. Whatever the registry holds, an accessor returns what its value says
// (0 for a value it cannot read as a DWORD, the held value when the value is
// missing or the key cannot be opened), writes only a missing value, as a
// DWORD, and leaves no key open.
#include <fuzzer/FuzzedDataProvider.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"

// The tuner lets this class reach its state, to make its periodic work fall due.
class CacheTunerTest {
 public:
  static TunerState& State(CacheTuner& tuner) { return tuner.state_; }
};

namespace {

enum class Limit { None, AtMost25, Above500Is72 };

struct Accessor {
  const wchar_t* name;
  uint32_t (SettingsStore::*read)();
  std::atomic<uint32_t> SettingsStore::*field;
  std::optional<uint32_t> preset;  // set before every read
  Limit limit;
};

const Accessor kAccessors[] = {
    {L"Settings", &SettingsStore::ReadSettings, &SettingsStore::Settings, {}, Limit::None},
    {L"MemoryZipperPlus", &SettingsStore::ReadMemoryZipperPlus, &SettingsStore::MemoryZipperPlus,
     0u, Limit::None},
    {L"RamAvailable",
     &SettingsStore::ReadRamAvailable,
     &SettingsStore::RamAvailable,
     {},
     Limit::None},
    {L"AutoOptHour", &SettingsStore::ReadAutoOptHour, &SettingsStore::AutoOptHour, 2u, Limit::None},
    {L"IsAutoOptHour", &SettingsStore::ReadIsAutoOptHour, &SettingsStore::IsAutoOptHour, 1u,
     Limit::None},
    {L"DataSafe", &SettingsStore::ReadDataSafe, &SettingsStore::DataSafe, {}, Limit::None},
    {L"CacheUsage",
     &SettingsStore::ReadCacheUsage,
     &SettingsStore::CacheUsage,
     {},
     Limit::AtMost25},
    {L"MaxCacheSize",
     &SettingsStore::ReadMaxCacheSize,
     &SettingsStore::MaxCacheSize,
     {},
     Limit::None},
    {L"BasedOnRam",
     &SettingsStore::ReadBasedOnRam,
     &SettingsStore::BasedOnRam,
     {},
     Limit::Above500Is72},
    {L"CacheCheck", &SettingsStore::ReadCacheCheck, &SettingsStore::CacheCheck, {}, Limit::None},
};

uint32_t Limited(uint32_t value, Limit limit) {
  if (limit == Limit::AtMost25 && value > 25) {
    return 25;
  }
  if (limit == Limit::Above500Is72 && value > 500) {
    return 72;
  }
  return value;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "settings fuzzer: %s\n", what);
    std::abort();
  }
}

sim::RegKeyNode& SettingsKey() {
  return sim::machine().Key(plat::kLocalMachine, kSettingsKeyPath);
}

// A value of any type and size, or none.
void PutValue(FuzzedDataProvider& in, const wchar_t* name) {
  sim::RegKeyNode& key = SettingsKey();
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      key.Remove(name);
      return;
    case 1: {
      const uint32_t value = in.ConsumeIntegral<uint32_t>();
      key.exists = true;
      key.Set(name, plat::kRegDword, &value, sizeof value);
      return;
    }
    case 2: {
      static constexpr uint32_t kTypes[] = {
          plat::kRegSz, plat::kRegBinary, plat::kRegQword, plat::kRegDword, 0, 7};
      const uint32_t type = in.PickValueInArray(kTypes);
      const std::vector<uint8_t> data = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 12));
      key.exists = true;
      key.Set(name, type, data.data(), static_cast<uint32_t>(data.size()));
      return;
    }
    default: {
      const uint32_t type = in.ConsumeIntegral<uint32_t>();
      const std::vector<uint8_t> data = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 8));
      key.exists = true;
      key.Set(name, type, data.data(), static_cast<uint32_t>(data.size()));
      return;
    }
  }
}

void PutReading(FuzzedDataProvider& in) {
  sim::Machine& m = sim::machine();
  m.current.totalPhys = in.ConsumeIntegral<uint64_t>();
  m.current.availPhys = in.ConsumeIntegral<uint64_t>();
  m.current.availPageFile = in.ConsumeIntegral<uint64_t>();
  m.current.load = in.ConsumeIntegralInRange<uint32_t>(0, 130);
}

bool SameValues(const std::vector<sim::RegValue>& a, const std::vector<sim::RegValue>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data) {
      return false;
    }
  }
  return true;
}

const sim::RegValue* Find(const std::vector<sim::RegValue>& values, const wchar_t* name) {
  for (const sim::RegValue& value : values) {
    if (sim::Narrow(value.name) == sim::Narrow(name)) {
      return &value;
    }
  }
  return nullptr;
}

// One accessor call, checked against what the registry held before it.
void ReadChecked(SettingsStore& store, const Accessor& accessor) {
  sim::RegKeyNode& key = SettingsKey();
  const std::vector<sim::RegValue> before = key.values;
  const bool reachable = !key.accessDenied;
  const uint32_t held =
      Limited(accessor.preset.value_or((store.*accessor.field).load()), accessor.limit);
  const uint32_t result = (store.*accessor.read)();
  Check(result == (store.*accessor.field).load(), "the accessor returns what it holds");

  const sim::RegValue* stored = Find(before, accessor.name);
  if (!reachable || stored == nullptr) {
    Check(result == held, "a value that cannot be read leaves the held value");
    if (reachable) {
      const sim::RegValue* written = key.Find(accessor.name);
      Check(written != nullptr && written->type == plat::kRegDword && written->data.size() == 4,
            "a missing value is written as a DWORD");
      uint32_t value = 0;
      std::memcpy(&value, written->data.data(), 4);
      Check(value == held, "a missing value is written with the held value");
      Check(key.values.size() == before.size() + 1, "only the missing value is written");
    } else {
      Check(SameValues(key.values, before), "a key that cannot be opened is not changed");
    }
    return;
  }
  Check(SameValues(key.values, before), "a value that exists is never rewritten");
  if (stored->type == plat::kRegDword && stored->data.size() == 4) {
    uint32_t value = 0;
    std::memcpy(&value, stored->data.data(), 4);
    Check(result == Limited(value, accessor.limit), "a DWORD reads as its value");
  } else if (stored->type != plat::kRegDword || stored->data.size() > 4) {
    Check(result == 0, "a value of another type or size reads as 0");
  }
}

void WriteChecked(SettingsStore& store, uint32_t megabytes) {
  sim::RegKeyNode& key = SettingsKey();
  const uint64_t total = sim::machine().current.totalPhys;
  const uint32_t expected =
      megabytes > total / 1575936 ? static_cast<uint32_t>(total >> 21) : megabytes;
  const bool reachable = !key.accessDenied;
  Check(store.WriteRamAvailable(megabytes) == expected, "the threshold is limited by memory");
  Check(store.RamAvailable == expected, "the store holds the threshold written");
  if (reachable) {
    const sim::RegValue* written = key.Find(L"RamAvailable");
    uint32_t value = 0;
    Check(written != nullptr && written->type == plat::kRegDword && written->data.size() == 4,
          "the threshold is written as a DWORD");
    std::memcpy(&value, written->data.data(), 4);
    Check(value == expected, "the threshold written is the one returned");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  sim::Reset();
  sim::machine().recording = false;
  PutReading(in);
  sim::machine().fileCache.currentSize = in.ConsumeIntegral<uint32_t>();
  for (const Accessor& accessor : kAccessors) {
    PutValue(in, accessor.name);
  }
  SettingsKey().accessDenied = in.ConsumeIntegralInRange(0, 7) == 0;

  {
    SystemCacheControl cache;
    SettingsStore store;
    CSqueezeRam squeezer(kServiceTouchStride);
    CacheTuner tuner(cache, store, squeezer);
    TunerState& state = CacheTunerTest::State(tuner);
    for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
      const int choice = in.ConsumeIntegralInRange(0, 15);
      if (choice < 10) {
        ReadChecked(store, kAccessors[choice]);
      } else if (choice == 10) {
        WriteChecked(store, in.ConsumeIntegral<uint32_t>());
      } else if (choice == 11) {
        PutValue(in, in.PickValueInArray(kAccessors).name);
      } else if (choice == 12) {
        SettingsKey().accessDenied = !SettingsKey().accessDenied;
      } else if (choice == 13) {
        PutReading(in);
      } else if (choice == 14) {
        tuner.ReloadSettings();
      } else {
        // A tick with its periodic work falling due as the input says.
        if (in.ConsumeBool()) {
          state.maintenanceCount = 8001;
        }
        if (in.ConsumeBool()) {
          state.reloadCount = 21001;
        }
        state.zipperCallCount = in.ConsumeIntegralInRange<uint32_t>(0, 60);
        state.zipperCount = in.ConsumeIntegralInRange<uint32_t>(0, 60);
        state.boostCount = in.ConsumeIntegralInRange<uint32_t>(0, 8);
        tuner.Tick();
      }
    }
  }
  Check(sim::machine().openHandles == 0, "a handle was left open");
  return 0;
}
