#include "service/settings_store.h"

#include "common/reg_key.h"
#include "platform/platform.h"
#include "tests/unit/sim_fixture.h"

namespace {

class SettingsStoreTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SetMemory(512 * kMB, 256 * kMB, 50);
  }
};

TEST_F(SettingsStoreTest, EmptyRegistryGetsDefaultsInOrder) {
  SettingsStore store;
  const std::vector<std::wstring> written = {L"BasedOnRam",       L"CacheUsage",  L"CacheCheck",
                                             L"Settings",         L"DataSafe",    L"MaxCacheSize",
                                             L"MemoryZipperPlus", L"RamAvailable"};
  EXPECT_EQ(RegSetNames(), written);
  EXPECT_EQ(RegDword(L"Settings"), 0u);
  EXPECT_EQ(RegDword(L"MemoryZipperPlus"), 0u);
  EXPECT_EQ(RegDword(L"RamAvailable"), 64u);
  EXPECT_EQ(RegDword(L"DataSafe"), 1u);
  EXPECT_EQ(RegDword(L"CacheUsage"), 12u);
  EXPECT_EQ(RegDword(L"MaxCacheSize"), 408576u);
  EXPECT_EQ(RegDword(L"BasedOnRam"), 72u);
  EXPECT_EQ(RegDword(L"CacheCheck"), 1u);
  EXPECT_FALSE(RegDword(L"AutoOptHour"));
  EXPECT_FALSE(RegDword(L"IsAutoOptHour"));
  EXPECT_EQ(machine().openHandles, 0);

  // The periodic boost's two values follow at their first read.
  EXPECT_EQ(store.ReadIsAutoOptHour(), 1u);
  EXPECT_EQ(store.ReadAutoOptHour(), 2u);
  EXPECT_EQ(RegDword(L"IsAutoOptHour"), 1u);
  EXPECT_EQ(RegDword(L"AutoOptHour"), 2u);
}

TEST_F(SettingsStoreTest, DefaultsFollowPhysicalMemory) {
  struct Case {
    uint64_t totalBytes;
    uint32_t ramAvailable;
    uint32_t maxCacheSize;
  };
  // Beyond 4 GB the byte count must not wrap.
  const Case cases[] = {{134217728, 16, 101888},
                        {268435456, 32, 204288},
                        {1073741824, 128, 817664},
                        {16 * 1024 * kMB, 2048, 13086208},
                        {64 * 1024 * kMB, 8192, 52344832}};
  for (const Case& c : cases) {
    sim::Reset();
    SetMemory(c.totalBytes, c.totalBytes / 2, 50);
    SettingsStore store;
    EXPECT_EQ(store.RamAvailable, c.ramAvailable) << c.totalBytes;
    EXPECT_EQ(store.MaxCacheSize, c.maxCacheSize) << c.totalBytes;
  }
}

TEST_F(SettingsStoreTest, LimitsApplyToReadsButNotToTheRegistry) {
  PutDword(L"CacheUsage", 40);
  PutDword(L"BasedOnRam", 500);
  SettingsStore store;
  EXPECT_EQ(store.CacheUsage, 25u);
  EXPECT_EQ(RegDword(L"CacheUsage"), 40u);
  EXPECT_EQ(store.BasedOnRam, 500u);

  for (uint32_t stored : {501u, 4294967295u}) {
    PutDword(L"BasedOnRam", stored);
    EXPECT_EQ(store.ReadBasedOnRam(), 72u) << stored;
    EXPECT_EQ(RegDword(L"BasedOnRam"), stored);
  }
}

TEST_F(SettingsStoreTest, ValueOfAnotherTypeReadsAsZeroAndStays) {
  PutValue(L"Settings", plat::kRegSz, {'1', 0, 0, 0, 0, 0, 0, 0});
  PutValue(L"MaxCacheSize", plat::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
  PutValue(L"RamAvailable", plat::kRegBinary, {9, 0, 0, 0});
  PutValue(L"BasedOnRam", plat::kRegBinary, {});
  SettingsStore store;
  EXPECT_EQ(store.Settings, 0u);
  EXPECT_EQ(store.MaxCacheSize, 0u);
  EXPECT_EQ(store.RamAvailable, 0u);
  EXPECT_EQ(store.BasedOnRam, 0u);
  EXPECT_EQ(SettingsKey().Find(L"Settings")->type, plat::kRegSz);
  EXPECT_EQ(SettingsKey().Find(L"MaxCacheSize")->data.size(), 8u);
  for (const std::wstring& name : RegSetNames()) {
    EXPECT_NE(name, L"Settings");
    EXPECT_NE(name, L"MaxCacheSize");
  }
}

TEST_F(SettingsStoreTest, DeletedValueComesBackWithTheValueLastRead) {
  PutDword(L"MaxCacheSize", 5000);
  PutDword(L"MemoryZipperPlus", 1);
  PutDword(L"AutoOptHour", 9);
  PutDword(L"IsAutoOptHour", 0);
  SettingsStore store;
  EXPECT_EQ(store.ReadAutoOptHour(), 9u);
  EXPECT_EQ(store.ReadIsAutoOptHour(), 0u);
  for (const wchar_t* name :
       {L"MaxCacheSize", L"MemoryZipperPlus", L"AutoOptHour", L"IsAutoOptHour"}) {
    SettingsKey().Remove(name);
  }
  EXPECT_EQ(store.ReadMaxCacheSize(), 5000u);
  EXPECT_EQ(RegDword(L"MaxCacheSize"), 5000u);
  // These three start over from their presets.
  EXPECT_EQ(store.ReadMemoryZipperPlus(), 0u);
  EXPECT_EQ(store.ReadAutoOptHour(), 2u);
  EXPECT_EQ(store.ReadIsAutoOptHour(), 1u);
  EXPECT_EQ(RegDword(L"MemoryZipperPlus"), 0u);
}

TEST_F(SettingsStoreTest, NamesAreFoundWhateverTheirCase) {
  PutDword(L"settings", 1);
  SettingsStore store;
  EXPECT_EQ(store.Settings, 1u);
}

TEST_F(SettingsStoreTest, WriteRamAvailableLimitsToPhysicalMemory) {
  SetMemory(256 * kMB, 100 * kMB, 50);
  SettingsStore store;
  EXPECT_EQ(store.WriteRamAvailable(170), 170u);
  EXPECT_EQ(RegDword(L"RamAvailable"), 170u);
  EXPECT_EQ(store.WriteRamAvailable(171), 128u);
  EXPECT_EQ(RegDword(L"RamAvailable"), 128u);
  EXPECT_EQ(store.RamAvailable, 128u);

  SetMemory(512 * kMB, 100 * kMB, 50);
  EXPECT_EQ(store.WriteRamAvailable(340), 340u);
  EXPECT_EQ(store.WriteRamAvailable(341), 256u);
  // Beyond 4 GB of memory the limit is not cut to 32 bits.
  SetMemory(16 * 1024 * kMB, 100 * kMB, 50);
  EXPECT_EQ(store.WriteRamAvailable(10000), 10000u);
  EXPECT_EQ(store.WriteRamAvailable(20000), 8192u);
}

TEST_F(SettingsStoreTest, UnwritableKeyKeepsDefaultsInMemory) {
  SettingsKey().accessDenied = true;
  SettingsStore store;
  EXPECT_TRUE(RegSetNames().empty());
  EXPECT_FALSE(SettingsKey().exists);
  EXPECT_EQ(store.RamAvailable, 64u);
  EXPECT_EQ(store.MaxCacheSize, 408576u);
  EXPECT_EQ(store.ReadAutoOptHour(), 2u);
  EXPECT_EQ(store.WriteRamAvailable(10), 10u);
  EXPECT_EQ(store.RamAvailable, 10u);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(SettingsStoreTest, ReadOnlyKeyIsReadButNeverWritten) {
  PutDword(L"BasedOnRam", 40);
  PutDword(L"Settings", 1);
  PutDword(L"MaxCacheSize", 5000);
  PutDword(L"AutoOptHour", 6);
  SettingsKey().readOnly = true;
  SettingsStore store;
  EXPECT_EQ(store.BasedOnRam, 40u);
  EXPECT_EQ(store.Settings, 1u);
  EXPECT_EQ(store.MaxCacheSize, 5000u);
  EXPECT_EQ(store.ReadAutoOptHour(), 6u);
  // Missing values keep the held ones, and nothing is written.
  EXPECT_EQ(store.RamAvailable, 64u);
  EXPECT_EQ(store.ReadIsAutoOptHour(), 1u);
  EXPECT_EQ(store.WriteRamAvailable(10), 10u);
  EXPECT_EQ(store.RamAvailable, 10u);
  EXPECT_TRUE(RegSetNames().empty());
  EXPECT_EQ(SettingsKey().values.size(), 4u);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(SettingsStoreTest, RegKeyOpensAKeyItMayOnlyReadForReading) {
  PutDword(L"Settings", 1);
  SettingsKey().readOnly = true;
  {
    RegKey key(plat::kLocalMachine);
    ASSERT_TRUE(key.Open(plat::kLocalMachine, kSettingsKeyPath));
    uint32_t value = 0;
    uint32_t type = 0;
    uint32_t size = sizeof value;
    EXPECT_EQ(plat::RegQuery(key.handle(), L"Settings", &type, &value, &size), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(key.SetDword(L"Settings", 2));
    EXPECT_EQ(plat::RegSet(key.handle(), L"Settings", plat::kRegDword, &value, sizeof value),
              static_cast<int32_t>(plat::kErrorAccessDenied));
    EXPECT_EQ(machine().openHandles, 1);
  }
  EXPECT_EQ(RegDword(L"Settings"), 1u);
  EXPECT_TRUE(RegSetNames().empty());
  EXPECT_EQ(machine().openHandles, 0);

  // A key that may not even be read stays closed.
  SettingsKey().accessDenied = true;
  RegKey key(plat::kLocalMachine);
  EXPECT_FALSE(key.Open(plat::kLocalMachine, kSettingsKeyPath));
  EXPECT_EQ(key.handle(), nullptr);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(SettingsStoreTest, RegKeyOpensOrCreatesAndCloses) {
  {
    RegKey key(nullptr);
    EXPECT_TRUE(key.Open(nullptr, L"Software\\Test"));
    EXPECT_TRUE(machine().Key(plat::kCurrentUser, L"Software\\Test").exists);
    EXPECT_STREQ(key.subKeyPath(), L"Software\\Test");
    key.Close();
    key.Close();
    EXPECT_STREQ(key.subKeyPath(), L"");
    EXPECT_EQ(machine().openHandles, 0);
  }
  RegKey key(plat::kLocalMachine, kAutostartKeyAccess);
  ASSERT_TRUE(key.Open(plat::kLocalMachine, L"SOFTWARE\\Run"));
  EXPECT_TRUE(key.SetString(L"Velmora", L"C:\\velmon.exe"));
  const sim::RegValue* value =
      machine().Key(plat::kLocalMachine, L"SOFTWARE\\Run").Find(L"Velmora");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, plat::kRegSz);
  EXPECT_EQ(value->data.size(), 14 * sizeof(wchar_t)) << "the size counts the terminating zero";
}

}  // namespace

namespace {

// A value Group Policy set wins over the settings key, which that read then
// neither opens nor writes; a policy value of another type or size is ignored.
TEST_F(SettingsStoreTest, APolicyValueWinsAndLeavesTheSettingsKeyAlone) {
  struct Case {
    const char* what;
    uint32_t (SettingsStore::*read)();
    const wchar_t* name;
    uint32_t type;
    std::vector<uint8_t> data;
    uint32_t stored;  // under the settings key
    uint32_t expected;
    bool policyWins;
  };
  const Case cases[] = {
      {"a DWORD",
       &SettingsStore::ReadRamAvailable,
       L"RamAvailable",
       plat::kRegDword,
       {200, 0, 0, 0},
       50,
       200,
       true},
      {"after the read's rule",
       &SettingsStore::ReadBasedOnRam,
       L"BasedOnRam",
       plat::kRegDword,
       {0x58, 2, 0, 0},
       40,
       72,
       true},
      {"after the preset",
       &SettingsStore::ReadAutoOptHour,
       L"AutoOptHour",
       plat::kRegDword,
       {9, 0, 0, 0},
       30000,
       9,
       true},
      {"a string",
       &SettingsStore::ReadSettings,
       L"Settings",
       plat::kRegSz,
       {'1', 0, 0, 0},
       1,
       1,
       false},
      {"two bytes",
       &SettingsStore::ReadSettings,
       L"Settings",
       plat::kRegDword,
       {1, 0},
       0,
       0,
       false},
      {"a QWORD",
       &SettingsStore::ReadMaxCacheSize,
       L"MaxCacheSize",
       plat::kRegQword,
       {0, 4, 0, 0, 0, 0, 0, 0},
       4096,
       4096,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    SetMemory(512 * kMB, 256 * kMB, 50);
    PutDword(c.name, c.stored);
    SettingsStore store;
    sim::RegKeyNode& policies = machine().Key(plat::kLocalMachine, kPoliciesKeyPath);
    policies.exists = true;
    policies.Set(c.name, c.type, c.data.data(), static_cast<uint32_t>(c.data.size()));
    SettingsKey().Remove(c.name);
    ClearEvents();

    EXPECT_EQ((store.*c.read)(), c.expected);
    // The settings key's value was deleted: only the settings key's own read
    // writes it back.
    EXPECT_EQ(RegSetNames().size(), c.policyWins ? 0u : 1u);
    for (const sim::Event& set : Events(sim::EventKind::RegSet)) {
      EXPECT_NE(set.key, &policies) << "nothing writes under the policies key";
    }
    EXPECT_EQ(machine().openHandles, 0);
  }
}

TEST_F(SettingsStoreTest, EachValueKnowsWhereItCameFrom) {
  using Setting = SettingsStore::Setting;
  struct Case {
    const char* what;
    void (*arrange)();
    void (*meanwhile)();  // between construction and the second read
    SettingSource source;
  };
  const Case cases[] = {
      {"missing, so written: a default while the key holds it", [] {}, [] {},
       SettingSource::Default},
      {"the written default changed", [] {}, [] { PutDword(L"Settings", 1); },
       SettingSource::Registry},
      {"the written default read as a string", [] {},
       [] {
         PutValue(L"Settings", plat::kRegSz, {0, 0});
       },
       SettingSource::Registry},
      {"present", [] { PutDword(L"Settings", 0); }, [] {}, SettingSource::Registry},
      {"set by policy",
       [] {
         sim::RegKeyNode& policies = machine().Key(plat::kLocalMachine, kPoliciesKeyPath);
         policies.exists = true;
         const uint32_t one = 1;
         policies.Set(L"Settings", plat::kRegDword, &one, 4);
       },
       [] {}, SettingSource::Policy},
      {"a key that cannot be opened: the held value",
       [] {
         PutDword(L"Settings", 1);
         machine().FailAlways(sim::Call::RegOpen);
         machine().FailAlways(sim::Call::RegCreate);
       },
       [] {}, SettingSource::Default},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset();
    SetMemory(512 * kMB, 256 * kMB, 50);
    c.arrange();
    SettingsStore store;
    c.meanwhile();
    store.ReadSettings();
    EXPECT_EQ(store.SourceOf(Setting::Settings), c.source);
  }
}

}  // namespace
