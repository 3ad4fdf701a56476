// The control panel's logic on the simulated machine: what it tells about each
// setting, how it judges a field, what it writes and when it asks the service
// to reload.
#include <gtest/gtest.h>

#include "common/system_cache_control.h"
#include "panel/field_check.h"
#include "panel/panel_status.h"
#include "panel/setting_catalog.h"
#include "panel/settings_panel.h"
#include "service/service_control.h"
#include "sim_fixture.h"

namespace {

constexpr uint64_t kOneGB = 1073741824;
constexpr uint32_t kUserDefinedControl = 0x100;

const SettingInfo& Info(const SettingCatalog& catalog, const wchar_t* name) {
  for (const SettingInfo& info : catalog) {
    if (std::wstring(info.name) == name) {
      return info;
    }
  }
  ADD_FAILURE() << "no setting " << sim::Narrow(name);
  return catalog[0];
}

size_t IndexOf(const SettingCatalog& catalog, const wchar_t* name) {
  return static_cast<size_t>(&Info(catalog, name) - catalog.data());
}

// --- The catalog -----------------------------------------------------------------

TEST(SettingCatalog, ListsTheTenValuesInTheKeysOrder) {
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  const wchar_t* names[] = {L"Settings",      L"MemoryZipperPlus", L"RamAvailable", L"AutoOptHour",
                            L"IsAutoOptHour", L"DataSafe",         L"CacheUsage",   L"MaxCacheSize",
                            L"BasedOnRam",    L"CacheCheck"};
  for (size_t i = 0; i < kSettingCount; ++i) {
    EXPECT_EQ(std::wstring(catalog[i].name), names[i]);
    EXPECT_NE(std::wstring(catalog[i].meaning), L"");
  }
}

TEST(SettingCatalog, DefaultsAreTheServicesOwnForThisMemory) {
  // The service's worked figures: 1 GB gives 128 and 817,664; 256 MB 32 and 204,288.
  SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  EXPECT_EQ(Info(catalog, L"RamAvailable").defaultValue, 128u);
  EXPECT_EQ(Info(catalog, L"MaxCacheSize").defaultValue, 817664u);
  EXPECT_EQ(Info(catalog, L"AutoOptHour").defaultValue, 2u);
  EXPECT_EQ(Info(catalog, L"IsAutoOptHour").defaultValue, 1u);
  EXPECT_EQ(Info(catalog, L"CacheUsage").defaultValue, 12u);
  EXPECT_EQ(Info(catalog, L"BasedOnRam").defaultValue, 72u);
  catalog = MakeSettingCatalog(256 * kMB);
  EXPECT_EQ(Info(catalog, L"RamAvailable").defaultValue, 32u);
  EXPECT_EQ(Info(catalog, L"MaxCacheSize").defaultValue, 204288u);
  // Beyond 4 GB the figures come from 64-bit bytes.
  catalog = MakeSettingCatalog(64 * kOneGB);
  EXPECT_EQ(Info(catalog, L"RamAvailable").defaultValue, 8192u);
  EXPECT_EQ(Info(catalog, L"MaxCacheSize").defaultValue, 52344832u);
}

TEST(SettingCatalog, LimitsFollowWhatTheServiceKeepsAsGiven) {
  SettingCatalog catalog = MakeSettingCatalog(256 * kMB);
  // The zipper's threshold stays as given up to total / 1575936: 170 for 256 MB.
  EXPECT_EQ(Info(catalog, L"RamAvailable").minimum, 1u);
  EXPECT_EQ(Info(catalog, L"RamAvailable").maximum, 170u);
  EXPECT_EQ(Info(catalog, L"MaxCacheSize").maximum, 262144u);  // all of memory, in KB
  EXPECT_EQ(Info(catalog, L"CacheUsage").maximum, 25u);        // the service reads no more
  EXPECT_EQ(Info(catalog, L"BasedOnRam").maximum, 500u);       // above falls back to 72
  EXPECT_EQ(Info(catalog, L"Settings").maximum, 1u);
  // No range turns upside down on a machine with almost no memory, nor wraps
  // on one with more than 4 TB.
  catalog = MakeSettingCatalog(kMB);
  for (const SettingInfo& info : catalog) {
    EXPECT_LE(info.minimum, info.maximum) << sim::Narrow(info.name);
  }
  catalog = MakeSettingCatalog(uint64_t{8} << 40);
  EXPECT_EQ(Info(catalog, L"MaxCacheSize").maximum, UINT32_MAX);
}

// --- Fields -------------------------------------------------------------------------

TEST(CheckField, AcceptsWholeNumbersWithinTheLimits) {
  const SettingInfo info{L"BasedOnRam", L"", L"percent", 72, 1, 500};
  uint32_t value = 0;
  EXPECT_EQ(CheckField(L"72", info, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, 72u);
  EXPECT_EQ(CheckField(L"  1\t", info, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(CheckField(L"0500", info, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, 500u);
}

TEST(CheckField, RefusesTextOutOfRangeAndOverflowWithoutTouchingTheValue) {
  const SettingInfo info{L"BasedOnRam", L"", L"percent", 72, 1, 500};
  uint32_t value = 7;
  EXPECT_EQ(CheckField(L"", info, value), FieldVerdict::Empty);
  EXPECT_EQ(CheckField(L"   ", info, value), FieldVerdict::Empty);
  EXPECT_EQ(CheckField(L"7 2", info, value), FieldVerdict::NotANumber);
  EXPECT_EQ(CheckField(L"-1", info, value), FieldVerdict::NotANumber);
  EXPECT_EQ(CheckField(L"+5", info, value), FieldVerdict::NotANumber);
  EXPECT_EQ(CheckField(L"5%", info, value), FieldVerdict::NotANumber);
  EXPECT_EQ(CheckField(L"0x10", info, value), FieldVerdict::NotANumber);
  EXPECT_EQ(CheckField(L"0", info, value), FieldVerdict::BelowMinimum);
  EXPECT_EQ(CheckField(L"501", info, value), FieldVerdict::AboveMaximum);
  // 2^32 + 72 must not wrap to 72, and a long run of digits stays too large.
  EXPECT_EQ(CheckField(L"4294967368", info, value), FieldVerdict::AboveMaximum);
  EXPECT_EQ(CheckField(L"99999999999999999999999", info, value), FieldVerdict::AboveMaximum);
  EXPECT_EQ(CheckField(L"99999999999999999999x", info, value), FieldVerdict::NotANumber);
  EXPECT_EQ(value, 7u);

  const SettingInfo full{L"X", L"", L"", 0, 0, UINT32_MAX};
  EXPECT_EQ(CheckField(L"4294967295", full, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, UINT32_MAX);
  EXPECT_EQ(CheckField(L"4294967296", full, value), FieldVerdict::AboveMaximum);
}

TEST(CheckField, MessagesSayWhatIsAccepted) {
  const SettingInfo info{L"RamAvailable", L"", L"MB", 128, 1, 2730};
  EXPECT_EQ(FieldMessage(FieldVerdict::Accepted, info), L"");
  EXPECT_EQ(FieldMessage(FieldVerdict::Empty, info), L"Enter a value: 1 to 2,730 MB.");
  EXPECT_EQ(FieldMessage(FieldVerdict::NotANumber, info),
            L"Not a whole number: enter 1 to 2,730 MB.");
  EXPECT_EQ(FieldMessage(FieldVerdict::BelowMinimum, info), L"Too small: the least is 1.");
  EXPECT_EQ(FieldMessage(FieldVerdict::AboveMaximum, info), L"Too large: the most is 2,730.");
  EXPECT_EQ(GroupDigits(0), L"0");
  EXPECT_EQ(GroupDigits(999), L"999");
  EXPECT_EQ(GroupDigits(1000), L"1,000");
  EXPECT_EQ(GroupDigits(18446744073709551615u), L"18,446,744,073,709,551,615");
}

// --- Reading, writing and the reload ----------------------------------------------

class ControlPanelTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    SetMemory(kOneGB, 512 * kMB, 50);
  }
  SettingsPanel panel_{kOneGB};
  size_t Index(const wchar_t* name) const { return IndexOf(panel_.catalog(), name); }
};

TEST_F(ControlPanelTest, LoadShowsStoredValuesAndDefaultsForMissingOnesWithoutWriting) {
  PutDword(L"BasedOnRam", 90);
  PutDword(L"CacheUsage", 40);  // shown as stored: the panel does not apply the service's cut
  PutValue(L"Settings", plat::kRegSz, {'1', 0, 0, 0});
  PutValue(L"MaxCacheSize", plat::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
  panel_.Load();
  EXPECT_EQ(panel_.shown(Index(L"BasedOnRam")).value, 90u);
  EXPECT_EQ(panel_.shown(Index(L"BasedOnRam")).source, ValueSource::Stored);
  EXPECT_EQ(panel_.shown(Index(L"CacheUsage")).value, 40u);
  EXPECT_EQ(panel_.shown(Index(L"Settings")).source, ValueSource::OtherType);
  EXPECT_EQ(panel_.shown(Index(L"Settings")).value, 0u);
  EXPECT_EQ(panel_.shown(Index(L"MaxCacheSize")).source, ValueSource::OtherType);
  EXPECT_EQ(panel_.shown(Index(L"RamAvailable")).source, ValueSource::Missing);
  EXPECT_EQ(panel_.shown(Index(L"RamAvailable")).value, 128u);
  EXPECT_TRUE(RegSetNames().empty());
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(ControlPanelTest, LoadWithoutTheKeyCreatesNothing) {
  panel_.Load();
  EXPECT_EQ(panel_.shown(Index(L"MaxCacheSize")).source, ValueSource::Missing);
  EXPECT_EQ(panel_.shown(Index(L"MaxCacheSize")).value, 817664u);
  EXPECT_FALSE(SettingsKey().exists);

  SettingsKey().accessDenied = true;
  panel_.Load();
  EXPECT_EQ(panel_.shown(Index(L"MaxCacheSize")).source, ValueSource::Unreadable);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(ControlPanelTest, WithoutWriteRightsThePanelIsReadOnlyAndWritesNothing) {
  PutDword(L"BasedOnRam", 90);
  SettingsKey().readOnly = true;
  InstalledService(L"\"C:\\Program Files\\Velmora\\velsvc.exe\"", plat::kServiceRunning);
  panel_.Load();
  EXPECT_EQ(panel_.shown(Index(L"BasedOnRam")).value, 90u);  // reading still works
  uint32_t error = 0;
  EXPECT_EQ(panel_.CheckWriteAccess(error), WriteAccess::Denied);
  EXPECT_EQ(error, plat::kErrorAccessDenied);

  SettingChanges changes;
  changes[Index(L"BasedOnRam")] = 60;
  const ApplyOutcome outcome = panel_.Apply(changes);
  EXPECT_EQ(outcome.written, 0u);
  EXPECT_EQ(RegDword(L"BasedOnRam"), 90u);
  EXPECT_TRUE(machine().FindService(kServiceName)->userControls.empty());
  EXPECT_EQ(ApplyMessage(outcome, panel_.catalog()),
            L"Nothing was saved: changing the settings needs administrator rights.");
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(ControlPanelTest, CheckWriteAccessCreatesAMissingKeyAndTellsOtherFailures) {
  uint32_t error = 0;
  EXPECT_EQ(panel_.CheckWriteAccess(error), WriteAccess::Granted);
  EXPECT_TRUE(SettingsKey().exists);
  machine().FailAlways(sim::Call::RegOpen);  // the sim's refusal is access denied
  EXPECT_EQ(panel_.CheckWriteAccess(error), WriteAccess::Denied);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(ControlPanelTest, ApplyWritesOnlyTheChangesAsDwordsAndAsksTheRunningServiceToReload) {
  PutDword(L"BasedOnRam", 72);
  PutDword(L"RamAvailable", 128);
  sim::Service& service =
      InstalledService(L"\"C:\\Program Files\\Velmora\\velsvc.exe\"", plat::kServiceRunning);
  panel_.Load();
  SettingChanges changes;
  changes[Index(L"RamAvailable")] = 200;
  changes[Index(L"AutoOptHour")] = 30000;
  const ApplyOutcome outcome = panel_.Apply(changes);
  EXPECT_EQ(outcome.written, 2u);
  EXPECT_TRUE(outcome.reloaded);
  EXPECT_EQ(RegSetNames(), (std::vector<std::wstring>{L"RamAvailable", L"AutoOptHour"}));
  for (const sim::Event& event : Events(sim::EventKind::RegSet)) {
    EXPECT_EQ(event.type, plat::kRegDword);
  }
  EXPECT_EQ(RegDword(L"RamAvailable"), 200u);
  EXPECT_EQ(RegDword(L"AutoOptHour"), 30000u);
  EXPECT_EQ(RegDword(L"BasedOnRam"), 72u);
  EXPECT_EQ(panel_.shown(Index(L"RamAvailable")).value, 200u);
  // One reload request, made with no more than the right that code needs.
  EXPECT_EQ(service.userControls, std::vector<uint32_t>{144});
  EXPECT_EQ(service.openedAccess, kUserDefinedControl);
  EXPECT_EQ(ApplyMessage(outcome, panel_.catalog()),
            L"Saved 2 values; the service has taken them up.");
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(ControlPanelTest, ApplyWithoutAChangeOrWithTheServiceStoppedAsksNothing) {
  sim::Service& service =
      InstalledService(L"\"C:\\Program Files\\Velmora\\velsvc.exe\"", plat::kServiceStopped);
  ApplyOutcome outcome = panel_.Apply(SettingChanges{});
  EXPECT_EQ(outcome.written, 0u);
  EXPECT_TRUE(RegSetNames().empty());
  EXPECT_EQ(ApplyMessage(outcome, panel_.catalog()), L"Nothing to save: no value was changed.");

  SettingChanges changes;
  changes[Index(L"Settings")] = 1;
  outcome = panel_.Apply(changes);
  EXPECT_EQ(outcome.written, 1u);
  EXPECT_FALSE(outcome.serviceRunning);
  EXPECT_TRUE(service.userControls.empty());
  EXPECT_EQ(ApplyMessage(outcome, panel_.catalog()),
            L"Saved 1 value; the service takes them up when it starts.");
}

TEST_F(ControlPanelTest, AFailedWriteStopsApplyAndIsReported) {
  InstalledService(L"\"C:\\Program Files\\Velmora\\velsvc.exe\"", plat::kServiceRunning);
  machine().FailOn(sim::Call::RegSet, 2);
  SettingChanges changes;
  changes[Index(L"Settings")] = 1;
  changes[Index(L"MaxCacheSize")] = 4096;
  changes[Index(L"BasedOnRam")] = 50;
  const ApplyOutcome outcome = panel_.Apply(changes);
  EXPECT_EQ(outcome.written, 1u);
  EXPECT_EQ(outcome.failedSetting, static_cast<int>(Index(L"MaxCacheSize")));
  EXPECT_EQ(RegDword(L"Settings"), 1u);
  EXPECT_EQ(RegDword(L"BasedOnRam"), std::nullopt);
  EXPECT_EQ(ApplyMessage(outcome, panel_.catalog()),
            L"Saved 1 of the changed values; MaxCacheSize could not be written (error 5), nor "
            L"anything after it.");
}

TEST_F(ControlPanelTest, AServiceThatRefusesTheReloadIsReported) {
  InstalledService(L"\"C:\\Program Files\\Velmora\\velsvc.exe\"", plat::kServiceRunning);
  machine().FailAlways(sim::Call::ServiceControl);
  SettingChanges changes;
  changes[Index(L"Settings")] = 1;
  const ApplyOutcome outcome = panel_.Apply(changes);
  EXPECT_TRUE(outcome.serviceRunning);
  EXPECT_FALSE(outcome.reloaded);
  EXPECT_EQ(ApplyMessage(outcome, panel_.catalog()),
            L"Saved 1 value, but the service refused to reload them; it takes them up when it "
            L"starts again.");
}

// --- The status lines ---------------------------------------------------------------

TEST_F(ControlPanelTest, StatusTellsTheServiceTheCacheAndTheMemory) {
  SystemCacheControl cache;
  PanelStatus status = ReadPanelStatus(cache);
  EXPECT_EQ(ServiceLine(status), L"Service: not installed");
  InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning);
  machine().fileCache.currentSize = 300 * kMB;
  machine().fileCache.minimumPages = 256;
  machine().fileCache.maximumPages = 102144;
  status = ReadPanelStatus(cache);
  EXPECT_EQ(ServiceLine(status), L"Service: running");
  EXPECT_EQ(CacheLine(status), L"File cache: 307,200 KB now, limits 1,024 KB to 408,576 KB");
  EXPECT_EQ(MemoryLine(status), L"Available memory: 512 MB of 1,024 MB");

  machine().FailAlways(sim::Call::NativeQuery);
  machine().FailAlways(sim::Call::ServiceQueryStatus);
  status = ReadPanelStatus(cache);
  EXPECT_EQ(CacheLine(status), L"File cache: cannot be read on this system");
  EXPECT_EQ(ServiceLine(status), L"Service: unknown (the service manager cannot be asked)");
  EXPECT_EQ(machine().openHandles, 0);
}

}  // namespace
