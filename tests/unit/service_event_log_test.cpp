// What the service writes to the Event Log, and how often: each entry's id,
// type and insertion strings as the simulated machine recorded them.
#include "service/service_event_log.h"

#include <string>
#include <vector>

#include "service/command_line.h"
#include "service/service_runtime.h"
#include "tests/unit/tuner_fixture.h"
#include "tray/memory_actions.h"

namespace {

struct Entry {
  uint32_t id;
  uint16_t type;
  std::vector<std::wstring> strings;
  bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& entry, std::ostream* out) {
  *out << "{" << entry.id << ", type " << entry.type << ",";
  for (const std::wstring& text : entry.strings) {
    *out << " \"" << sim::Narrow(text) << "\"";
  }
  *out << "}";
}

Entry Expected(const EventMessage& message, std::vector<std::wstring> strings) {
  return Entry{message.id, message.type, std::move(strings)};
}

// The 512 MB machine's defaults, each from the store.
const std::vector<std::wstring> kDefaultStart = {L"0",  L"default", L"0",      L"default",
                                                 L"64", L"default", L"408576", L"default",
                                                 L"72", L"default"};

class ServiceEventLogTest : public TunerTest {
 protected:
  void TearDown() override { serviceRuntime().tuner = nullptr; }

  // Every entry written so far, each checked to come from the service's source.
  static std::vector<Entry> Entries() {
    std::vector<Entry> entries;
    for (const sim::LogEntry& entry : machine().logEntries) {
      EXPECT_EQ(entry.source, kServiceName);
      entries.push_back(Entry{entry.id, entry.type, entry.strings});
    }
    return entries;
  }

  // The entries of one message only.
  static std::vector<Entry> Entries(const EventMessage& message) {
    std::vector<Entry> entries;
    for (const Entry& entry : Entries()) {
      if (entry.id == message.id) {
        entries.push_back(entry);
      }
    }
    return entries;
  }

  // Builds the tuner and starts the service's Event Log, then forgets the
  // start's entries.
  void BuildStarted() {
    Build();
    tuner->ReportServiceStarted();
    machine().logEntries.clear();
  }

  static void PutPolicy(const wchar_t* name, uint32_t value) {
    sim::RegKeyNode& policies = machine().Key(plat::kLocalMachine, kPoliciesKeyPath);
    policies.exists = true;
    policies.Set(name, plat::kRegDword, &value, 4);
  }

  static void Later(uint64_t ms) { machine().clockMs += ms; }
};

TEST_F(ServiceEventLogTest, StartEntryGivesEachTuningSettingAndWhereItCameFrom) {
  struct Case {
    const char* what;
    void (*arrange)();
    std::vector<std::wstring> strings;
  };
  const Case cases[] = {
      {"an empty settings key: the defaults the service writes", [] {}, kDefaultStart},
      {"the settings key",
       [] {
         PutDword(L"Settings", 1);
         PutDword(L"RamAvailable", 100);
         PutDword(L"BasedOnRam", 600);
       },
       {L"1", L"registry", L"0", L"default", L"100", L"registry", L"408576", L"default", L"72",
        L"registry"}},
      {"the policies key over the settings key",
       [] {
         PutDword(L"MaxCacheSize", 300000);
         PutPolicy(L"MaxCacheSize", 200000);
         PutPolicy(L"MemoryZipperPlus", 1);
       },
       {L"0", L"default", L"1", L"policy", L"64", L"default", L"200000", L"policy", L"72",
        L"default"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshMachine();
    c.arrange();
    Build();
    EXPECT_TRUE(Entries().empty()) << "building the objects writes nothing";
    tuner->ReportServiceStarted();
    EXPECT_EQ(Entries(), std::vector<Entry>{Expected(kEventServiceStarted, c.strings)});
  }
}

TEST_F(ServiceEventLogTest, WhatConstructionFoundFollowsTheStartEntry) {
  struct Case {
    const char* what;
    void (*arrange)();
    std::vector<Entry> after;
  };
  const Case cases[] = {
      {"all well", [] {}, {}},
      {"no file-cache calls",
       [] { machine().bindsQuery = false; },
       {Expected(kEventTunerDisabled,
                 {L"the system's file-cache calls (NtQuerySystemInformation and "
                  L"NtSetSystemInformation in ntdll.dll) could not be found"})}},
      {"the first query failed",
       [] { machine().FailOn(sim::Call::NativeQuery, 1); },
       {Expected(kEventTunerDisabled, {L"the first query of the file cache failed"})}},
      {"no quota privilege",
       [] { machine().quotaPrivilege = false; },
       {Expected(kEventPrivilegeMissing, {L"SeIncreaseQuotaPrivilege"})}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshMachine();
    c.arrange();
    Build();
    tuner->ReportServiceStarted();
    std::vector<Entry> entries = Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().id, kEventServiceStarted.id);
    EXPECT_EQ(std::vector<Entry>(entries.begin() + 1, entries.end()), c.after);
  }
}

TEST_F(ServiceEventLogTest, TheServiceWritesStartedThenStopped) {
  PutDword(L"AutoOptHour", 30000);  // no boost
  Build();
  serviceRuntime().tuner = tuner.get();
  serviceRuntime().serviceRunning = true;
  machine().onSleep = [](uint32_t ms) {
    if (ms == 201) {
      machine().controlHandler(plat::kServiceControlStop);
    }
  };
  ServiceMain(0, nullptr);
  EXPECT_EQ(Entries(), (std::vector<Entry>{Expected(kEventServiceStarted, kDefaultStart),
                                           Expected(kEventServiceStopped, {})}));
}

TEST_F(ServiceEventLogTest, CommandLineRunsAndTheTrayWriteNothing) {
  // Everything that would be written in the service: sets that fail, squeezes
  // kept within the commit, boosts.
  machine().FailAlways(sim::Call::NativeSet);
  SetMemory(512 * kMB, 16 * kMB, 90, 64 * kMB);
  machine().programPath = L"C:\\Velmora\\velsvc.exe";
  Build();
  InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning);
  for (std::wstring switches : {L"-info", L"-stop", L"-start", L"-install", L"-remove"}) {
    wchar_t* argv[] = {machine().programPath.data(), switches.data(), nullptr};
    ServiceEntry(2, argv);
  }
  Ticks(3);
  PutDword(L"Settings", 1);
  tuner->ReloadSettings();
  Ticks(1);
  const MemoryActionContext tray{*cache, *squeezer, [] {}};
  BoostMemoryNow(tray);
  EmptySystemCache(*cache);
  EXPECT_TRUE(Entries().empty());
}

TEST_F(ServiceEventLogTest, SettingsChangesAreWrittenOnlyWhenSomethingChanged) {
  struct Case {
    const char* what;
    void (*change)();
    std::vector<Entry> entries;
  };
  const Case cases[] = {
      {"nothing changed", [] {}, {}},
      {"the settings key",
       [] { PutDword(L"RamAvailable", 128); },
       {Expected(kEventSettingsChanged, {L"RamAvailable: 64 -> 128 MB (registry)"})}},
      {"the policies key, the same value from elsewhere too",
       [] {
         PutPolicy(L"BasedOnRam", 80);
         PutPolicy(L"Settings", 0);
       },
       {Expected(kEventSettingsChanged,
                 {L"Settings: 0 -> 0 (policy)\r\nBasedOnRam: 72 -> 80 percent (policy)"})}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshMachine();
    BuildStarted();
    c.change();
    // Repeated reloads of the same values tell them once.
    for (int i = 0; i < 100; ++i) {
      tuner->ReloadSettings();
      tuner->Tick();
    }
    EXPECT_EQ(Entries(kEventSettingsChanged), c.entries);
  }
}

TEST_F(ServiceEventLogTest, AFlappingSettingIsToldAtMostOnceEveryTenMinutes) {
  PutDword(L"AutoOptHour", 30000);  // no boost, whose pause would move the clock
  BuildStarted();
  // An hour of a value that changes at every reload, one a second.
  for (uint32_t second = 1; second <= 3600; ++second) {
    PutDword(L"MaxCacheSize", 100000 + second % 2);
    tuner->ReloadSettings();
    tuner->Tick();
    Later(1000);
  }
  EXPECT_EQ(Entries(kEventSettingsChanged).size(), 6u)
      << "the first change, then one each ten minutes";
  // It settles: the last value is told once the ten minutes are over.
  machine().logEntries.clear();
  PutDword(L"MaxCacheSize", 123456);
  tuner->ReloadSettings();
  for (int tick = 0; tick < 1000; ++tick) {
    tuner->Tick();
    Later(1000);
  }
  ASSERT_EQ(Entries(kEventSettingsChanged).size(), 1u);
  EXPECT_NE(Entries(kEventSettingsChanged)[0].strings[0].find(L" -> 123456 KB (registry)"),
            std::wstring::npos);
}

TEST_F(ServiceEventLogTest, FailedSetsAreToldFirstThenHourlyWithACount) {
  machine().FailAlways(sim::Call::NativeSet);
  BuildStarted();
  CacheTunerTest::SetLimits(*tuner, 1000, 2000);
  for (int i = 0; i < 5; ++i) {
    CacheTunerTest::SetLimits(*tuner, 1000, 2000);
  }
  Later(kHourMs - 1);
  CacheTunerTest::SetLimits(*tuner, 1000, 2000);
  Later(1);
  CacheTunerTest::SetLimits(*tuner, 3000, 4000);
  EXPECT_EQ(Entries(),
            (std::vector<Entry>{Expected(kEventCacheSetFailed, {L"1", L"1000", L"2000"}),
                                Expected(kEventCacheSetFailed, {L"7", L"3000", L"4000"})}));
  // The tick's own sets are among them.
  machine().logEntries.clear();
  Later(kHourMs);
  Ticks(100);
  EXPECT_EQ(Entries(kEventCacheSetFailed).size(), 1u);
}

TEST_F(ServiceEventLogTest, SqueezesKeptWithinTheCommitAndBoostsAreToldHourly) {
  // 392 MB for a load of 20 on 512 MB, kept to half of 100 MB of page file.
  SetMemory(512 * kMB, 200 * kMB, 20, 100 * kMB);
  BuildStarted();
  CacheTunerTest::Boost(*tuner);
  CacheTunerTest::Boost(*tuner);
  Later(kHourMs);
  SetMemory(512 * kMB, 200 * kMB, 20, 1000 * kMB);
  CacheTunerTest::Boost(*tuner);
  EXPECT_EQ(Entries(), (std::vector<Entry>{Expected(kEventSqueezeLimited,
                                                    {L"periodic boost", L"392", L"100", L"50"}),
                                           Expected(kEventBoost, {L"50", L"20", L"200"}),
                                           Expected(kEventBoost, {L"392", L"20", L"200"})}));
}

TEST_F(ServiceEventLogTest, TheMemoryZipperKeptWithinTheCommitIsTold) {
  PutDword(L"MemoryZipperPlus", 1);
  PutDword(L"RamAvailable", 300);
  SetMemory(512 * kMB, 100 * kMB, 50, 200 * kMB);
  BuildStarted();
  for (int call = 0; call < 51 * 3; ++call) {
    CacheTunerTest::MemoryZipper(*tuner);
  }
  EXPECT_EQ(Entries(), std::vector<Entry>{Expected(kEventSqueezeLimited,
                                                   {L"memory zipper", L"300", L"200", L"100"})});
  EXPECT_EQ(SqueezesMB(), (std::vector<uint64_t>{100, 100, 100}));
}

}  // namespace
