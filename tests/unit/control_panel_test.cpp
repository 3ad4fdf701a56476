// The control panel's logic on the simulated machine: what it tells about each
// setting, how it judges a field, what it writes and when it asks the service
// to reload, the edits it hands to an elevated panel, the service's button.
#include <gtest/gtest.h>

#include "common/system_cache_control.h"
#include "panel/carried_edits.h"
#include "panel/field_check.h"
#include "panel/panel_status.h"
#include "panel/setting_catalog.h"
#include "panel/setting_text.h"
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

SettingInfo NumberInfo(const wchar_t* name, const wchar_t* unit, uint32_t defaultValue,
                       uint32_t minimum, uint32_t maximum) {
  return {name,
          L"",
          L"",
          unit,
          defaultValue,
          minimum,
          maximum,
          SettingGroup::TuningMode,
          SettingControl::Number,
          false};
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

TEST(SettingCatalog, GroupsControlsAndUnitsFitEachValue) {
  using G = SettingGroup;
  using C = SettingControl;
  struct Row {
    const wchar_t* name;
    G group;
    C control;
    const wchar_t* unit;
    bool changesNothing;
  };
  const Row rows[] = {
      {L"Settings", G::TuningMode, C::Choice, L"", false},
      {L"MaxCacheSize", G::TuningMode, C::Number, L"KB", false},
      {L"BasedOnRam", G::TuningMode, C::Number, L"%", false},
      {L"MemoryZipperPlus", G::FreeingMemory, C::Switch, L"", false},
      {L"RamAvailable", G::FreeingMemory, C::Number, L"MB", false},
      {L"IsAutoOptHour", G::FreeingMemory, C::Switch, L"", false},
      {L"AutoOptHour", G::FreeingMemory, C::Interval, L"checks", false},
      {L"DataSafe", G::Compatibility, C::Switch, L"", true},
      {L"CacheUsage", G::Compatibility, C::Number, L"", true},
      {L"CacheCheck", G::Compatibility, C::Switch, L"", true},
  };
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  for (size_t shown = 0; shown < kSettingCount; ++shown) {
    const SettingInfo& info = catalog[kDisplayOrder[shown]];
    const Row& row = rows[shown];
    EXPECT_EQ(std::wstring(info.name), row.name);  // the panel's order, group by group
    EXPECT_EQ(info.group, row.group) << sim::Narrow(row.name);
    EXPECT_EQ(info.control, row.control) << sim::Narrow(row.name);
    EXPECT_EQ(std::wstring(info.unit), row.unit) << sim::Narrow(row.name);
    EXPECT_EQ(info.changesNothing, row.changesNothing) << sim::Narrow(row.name);
    EXPECT_NE(std::wstring(info.label), L"");
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
  // The interval in checks: 1 to 666 writes AutoOptHour 2 to 999.
  EXPECT_EQ(Info(catalog, L"AutoOptHour").minimum, 1u);
  EXPECT_EQ(Info(catalog, L"AutoOptHour").maximum, 666u);
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
  const SettingInfo info = NumberInfo(L"BasedOnRam", L"%", 72, 1, 500);
  uint32_t value = 0;
  EXPECT_EQ(CheckField(L"72", info, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, 72u);
  EXPECT_EQ(CheckField(L"  1\t", info, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(CheckField(L"0500", info, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, 500u);
}

TEST(CheckField, RefusesTextOutOfRangeAndOverflowWithoutTouchingTheValue) {
  const SettingInfo info = NumberInfo(L"BasedOnRam", L"%", 72, 1, 500);
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

  const SettingInfo full = NumberInfo(L"X", L"", 0, 0, UINT32_MAX);
  EXPECT_EQ(CheckField(L"4294967295", full, value), FieldVerdict::Accepted);
  EXPECT_EQ(value, UINT32_MAX);
  EXPECT_EQ(CheckField(L"4294967296", full, value), FieldVerdict::AboveMaximum);
}

TEST(CheckField, MessagesSayWhatIsAcceptedWithTheUnit) {
  const SettingInfo info = NumberInfo(L"RamAvailable", L"MB", 128, 1, 2730);
  EXPECT_EQ(FieldMessage(FieldVerdict::Accepted, info), L"");
  EXPECT_EQ(FieldMessage(FieldVerdict::Empty, info), L"Enter a value: 1 to 2,730 MB.");
  EXPECT_EQ(FieldMessage(FieldVerdict::NotANumber, info),
            L"Not a whole number: enter 1 to 2,730 MB.");
  EXPECT_EQ(FieldMessage(FieldVerdict::BelowMinimum, info), L"Too small: the least is 1 MB.");
  EXPECT_EQ(FieldMessage(FieldVerdict::AboveMaximum, info), L"Too large: the most is 2,730 MB.");
  // All of a 24,683,768 KB machine's memory; a percentage is spelled out.
  const SettingCatalog catalog = MakeSettingCatalog(uint64_t{24683768} * 1024);
  EXPECT_EQ(FieldMessage(FieldVerdict::NotANumber, Info(catalog, L"MaxCacheSize")),
            L"Not a whole number: enter 512 to 24,683,768 KB.");
  EXPECT_EQ(FieldMessage(FieldVerdict::AboveMaximum, Info(catalog, L"BasedOnRam")),
            L"Too large: the most is 500 percent.");
  EXPECT_EQ(GroupDigits(0), L"0");
  EXPECT_EQ(GroupDigits(999), L"999");
  EXPECT_EQ(GroupDigits(1000), L"1,000");
  EXPECT_EQ(GroupDigits(18446744073709551615u), L"18,446,744,073,709,551,615");
}

// --- The boost interval and the texts around a field ------------------------------

TEST(BoostInterval, ChecksAreTwoThirdsOfTheValueAndWriteTheSmallestValueThatGivesThem) {
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  const SettingInfo& info = Info(catalog, L"AutoOptHour");
  struct Case {
    uint32_t stored;
    uint32_t checks;
  };
  // 0, 1 and 2 all boost on every check; 30000 is every 20,000th.
  for (const Case& c :
       {Case{0, 1}, Case{1, 1}, Case{2, 1}, Case{3, 2}, Case{4, 2}, Case{5, 3}, Case{6, 4},
        Case{999, 666}, Case{30000, 20000}, Case{UINT32_MAX, 2863311530u}}) {
    EXPECT_EQ(ShownValue(info, c.stored), c.checks) << c.stored;
  }
  for (const Case& c : {Case{2, 1}, Case{3, 2}, Case{5, 3}, Case{6, 4}, Case{999, 666}}) {
    EXPECT_EQ(StoredValue(info, c.checks), c.stored) << c.checks;
  }
  for (uint32_t checks = 1; checks <= 666; ++checks) {
    EXPECT_EQ(ShownValue(info, StoredValue(info, checks)), checks);
  }
}

TEST(BoostInterval, TimeIsTheChecksAtAboutOneHundredAndSevenMinutesEach) {
  const std::pair<uint64_t, const wchar_t*> cases[] = {
      {1, L"about every 107 minutes"},  {2, L"about every 3.6 hours"},
      {4, L"about every 7.1 hours"},    {14, L"about every 25 hours"},
      {27, L"about every 2 days"},      {666, L"about every 50 days"},
      {20000, L"about every 4.1 years"}};
  for (const auto& [checks, text] : cases) {
    EXPECT_EQ(IntervalTime(checks), text) << checks;
  }
}

TEST(SettingText, MeaningsCarryTheLimitsTheDefaultAndTheIntervalsTime) {
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  const SettingInfo& interval = Info(catalog, L"AutoOptHour");
  EXPECT_EQ(MeaningLine(Info(catalog, L"RamAvailable")),
            L"The zipper frees this much when less is available. 1 to 681 MB; default 128.");
  EXPECT_EQ(MeaningLine(Info(catalog, L"DataSafe")), L"Kept for compatibility; changes nothing.");
  EXPECT_EQ(IntervalMeaning(interval, 1, true),
            L"The boost comes on every check, about every 107 minutes. 1 to 666 checks; default "
            L"1.");
  EXPECT_EQ(IntervalMeaning(interval, 3, true),
            L"The boost comes every 3 checks, about every 5.4 hours. 1 to 666 checks; default 1.");
  EXPECT_EQ(IntervalMeaning(interval, 3, false),
            L"Not used while the box above is clear: the boost then comes every 4th check, about "
            L"every 7.1 hours.");
}

TEST(SettingText, NotesTellWhereAValueCameFromAndWhatBecomesOfOneBeyondTheLimits) {
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  struct Case {
    const wchar_t* name;
    ShownSetting shown;
    const wchar_t* note;
  };
  const Case cases[] = {
      {L"BasedOnRam", {90, ValueSource::Stored}, L""},
      {L"BasedOnRam", {90, ValueSource::Policy}, L""},
      {L"RamAvailable",
       {128, ValueSource::Missing},
       L"Not set yet: the service writes the default when it starts."},
      {L"Settings",
       {0, ValueSource::OtherType},
       L"Stored as another type than a DWORD: the service reads it as 0 and leaves it."},
      {L"AutoOptHour",
       {30000, ValueSource::Stored},
       L"Stored as 30,000 (every 20,000 checks, about every 4.1 years), outside what the panel "
       L"offers (1 to 666 checks). Left as it is unless you change it."},
      {L"CacheUsage",
       {40, ValueSource::Stored},
       L"Stored as 40, outside what the panel offers (0 to 25); the service reads it as 25. Left "
       L"as it is unless you change it."},
      {L"BasedOnRam",
       {600, ValueSource::Policy},
       L"Group Policy sets 600, outside what the panel offers (1 to 500 percent); the service "
       L"takes it as 72."},
      {L"Settings",
       {7, ValueSource::Stored},
       L"Stored as 7, outside what the panel offers (0 or 1); the service takes any value but 1 "
       L"as automatic. Left as it is unless you change it."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NoteLine(Info(catalog, c.name), c.shown), c.note) << sim::Narrow(c.name);
  }
}

TEST(ApplyMessage, GrammarFollowsTheCountAndValuesThatChangeNothingAreNotTakenUp) {
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  struct Case {
    uint32_t written;
    uint32_t effective;
    bool running;
    bool reloaded;
    const wchar_t* message;
  };
  const Case cases[] = {
      {1, 1, true, true, L"Saved 1 value; the service has taken it up."},
      {2, 2, true, true, L"Saved 2 values; the service has taken them up."},
      {3, 2, true, true,
       L"Saved 3 values; the service has taken 2 of them up (the other changes nothing)."},
      {3, 1, true, true,
       L"Saved 3 values; the service has taken 1 of them up (the other 2 change nothing)."},
      {1, 0, true, false, L"Saved 1 value; it changes nothing the service does."},
      {2, 0, false, false, L"Saved 2 values; they change nothing the service does."},
      {1, 1, false, false, L"Saved 1 value; the service takes it up when it starts."},
      {2, 1, false, false,
       L"Saved 2 values; the service takes 1 of them up when it starts (the other changes "
       L"nothing)."},
      {1, 1, true, false,
       L"Saved 1 value, but the service refused to reload; it takes it up when it starts "
       L"again."},
  };
  for (const Case& c : cases) {
    ApplyOutcome outcome;
    outcome.written = c.written;
    outcome.effective = c.effective;
    outcome.serviceRunning = c.running;
    outcome.reloaded = c.reloaded;
    EXPECT_EQ(ApplyMessage(outcome, catalog), c.message);
  }
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
            L"Saved 1 value; the service takes it up when it starts.");
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
            L"Saved 1 value, but the service refused to reload; it takes it up when it starts "
            L"again.");
}

TEST_F(ControlPanelTest, AValueSetByPolicyIsShownLockedAndNeverWritten) {
  PutDword(L"BasedOnRam", 90);
  sim::RegKeyNode& policies = machine().Key(plat::kLocalMachine, kPoliciesKeyPath);
  policies.exists = true;
  const uint32_t sixty = 60;
  policies.Set(L"BasedOnRam", plat::kRegDword, &sixty, 4);
  const uint64_t wide = 1;
  policies.Set(L"Settings", plat::kRegQword, &wide, 8);  // not a policy value: the key's counts
  InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning);
  panel_.Load();
  EXPECT_EQ(panel_.shown(Index(L"BasedOnRam")).value, 60u);
  EXPECT_TRUE(panel_.locked(Index(L"BasedOnRam")));
  EXPECT_FALSE(panel_.locked(Index(L"Settings")));
  EXPECT_EQ(panel_.shown(Index(L"Settings")).source, ValueSource::Missing);

  SettingChanges changes;
  changes[Index(L"BasedOnRam")] = 50;
  EXPECT_EQ(panel_.Apply(changes).written, 0u);
  changes[Index(L"MaxCacheSize")] = 4096;
  EXPECT_EQ(panel_.Apply(changes).written, 1u);
  EXPECT_EQ(RegSetNames(), std::vector<std::wstring>{L"MaxCacheSize"});
  EXPECT_EQ(RegDword(L"BasedOnRam"), 90u);
  EXPECT_EQ(policies.Find(L"BasedOnRam")->data, (std::vector<uint8_t>{60, 0, 0, 0}));
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(ControlPanelTest, ValuesThatChangeNothingAreSavedWithoutAskingTheServiceToReload) {
  sim::Service& service = InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning);
  SettingChanges changes;
  changes[Index(L"DataSafe")] = 0;
  changes[Index(L"CacheUsage")] = 20;
  const ApplyOutcome outcome = panel_.Apply(changes);
  EXPECT_EQ(RegSetNames(), (std::vector<std::wstring>{L"DataSafe", L"CacheUsage"}));
  EXPECT_TRUE(service.userControls.empty());
  EXPECT_EQ(ApplyMessage(outcome, panel_.catalog()),
            L"Saved 2 values; they change nothing the service does.");
}

// --- Edits carried to an elevated panel ----------------------------------------------

TEST(CarriedEdits, TheChangedFieldsGoThroughTheCommandLineAsTheyWereTyped) {
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  FieldTexts edits;
  edits[2] = L"200";
  edits[0] = L"1";
  edits[7] = L" 12x,\"%";
  const std::wstring parameters = EditsParameters(catalog, edits);
  EXPECT_EQ(parameters, L"edits Settings=1 RamAvailable=200 MaxCacheSize=%002012x%002C%0022%0025");

  const wchar_t* arguments[] = {L"Settings=1", L"RamAvailable=200",
                                L"MaxCacheSize=%002012x%002C%0022%0025"};
  FieldTexts read;
  ASSERT_TRUE(ReadEdits(catalog, arguments, 3, read));
  EXPECT_EQ(read, edits);
  EXPECT_EQ(EditsParameters(catalog, FieldTexts{}), L"edits");
}

TEST(CarriedEdits, AnythingElseIsRefusedAndNothingTaken) {
  const SettingCatalog catalog = MakeSettingCatalog(kOneGB);
  const std::vector<std::vector<const wchar_t*>> refused = {{L"Unknown=1"},
                                                            {L"RamAvailable"},
                                                            {L"RamAvailable=%00"},
                                                            {L"RamAvailable=%zz41"},
                                                            {L"RamAvailable=a b"},
                                                            {L"Settings=1", L"Settings=0"},
                                                            {L"BasedOnRam=123456789012345678901"}};
  for (const auto& arguments : refused) {
    FieldTexts read;
    read[3] = L"kept";
    EXPECT_FALSE(ReadEdits(catalog, arguments.data(), arguments.size(), read))
        << sim::Narrow(arguments.back());
    EXPECT_EQ(read[3], L"kept");
  }
}

// --- The service's button ----------------------------------------------------------------

TEST(ServiceButton, StartsAStoppedServiceStopsARunningOneAndWaitsOtherwise) {
  struct Case {
    uint32_t state;
    bool underWay;
    ServiceButton button;
  };
  const Case cases[] = {
      {plat::kServiceStopped, false, {true, true, true}},
      {plat::kServiceRunning, false, {true, true, false}},
      {plat::kServiceRunning, true, {true, false, false}},
      {plat::kServiceStartPending, false, {true, false, false}},
      {plat::kServiceStopPending, false, {true, false, false}},
      {kServiceStateUnknown, false, {true, false, true}},
      {kServiceNotInstalled, false, {false, false, false}},
  };
  for (const Case& c : cases) {
    const ServiceButton button = ServiceButtonFor(c.state, c.underWay);
    EXPECT_EQ(button.shown, c.button.shown) << c.state;
    EXPECT_EQ(button.enabled, c.button.enabled) << c.state;
    EXPECT_EQ(button.starts, c.button.starts) << c.state;
  }
}

// --- The status lines ---------------------------------------------------------------

std::wstring Text(const FixedText& text) {
  return std::wstring(text.view());
}

TEST_F(ControlPanelTest, StatusTellsTheServiceTheCacheAndTheMemory) {
  SystemCacheControl cache;
  PanelStatus status = ReadPanelStatus(cache);
  EXPECT_EQ(Text(ServiceLine(status)), L"Service: not installed");
  // A query that succeeds with zeros (as under Wine) reports nothing.
  EXPECT_EQ(Text(CacheLine(status)), L"File cache: not reported on this system");
  InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning);
  machine().fileCache.currentSize = 300 * kMB;
  machine().fileCache.minimumPages = 256;
  machine().fileCache.maximumPages = 102144;
  status = ReadPanelStatus(cache);
  EXPECT_EQ(Text(ServiceLine(status)), L"Service: running");
  EXPECT_EQ(Text(CacheLine(status)), L"File cache: 307,200 KB now, limits 1,024 KB to 408,576 KB");
  EXPECT_EQ(Text(MemoryLine(status)), L"Available memory: 512 MB of 1,024 MB");

  machine().FailAlways(sim::Call::NativeQuery);
  machine().FailAlways(sim::Call::ServiceQueryStatus);
  status = ReadPanelStatus(cache);
  EXPECT_EQ(Text(CacheLine(status)), L"File cache: cannot be read on this system");
  EXPECT_EQ(Text(ServiceLine(status)), L"Service: unknown (the service manager cannot be asked)");
  EXPECT_EQ(machine().openHandles, 0);
}

}  // namespace
