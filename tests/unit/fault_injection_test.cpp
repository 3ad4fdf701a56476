// Every platform call that can fail, made to fail in turn under every program
// path of both programs: nothing crashes, no handle stays open, and each failure
// has the effect the system gives it.
#include <array>
#include <string>
#include <vector>

#include "service/command_line.h"
#include "service/service_control.h"
#include "service/service_runtime.h"
#include "tests/unit/tuner_fixture.h"
#include "tray/autostart.h"
#include "tray/memory_actions.h"

namespace {

using sim::Call;

const std::wstring kPresenceMutex = sim::Widen(kServicePresenceMutexName);
constexpr wchar_t kProgram[] = L"C:\\Velmora\\velsvc.exe";
constexpr wchar_t kTrayProgram[] = L"C:\\Program Files\\Velmora\\velmon.exe";

int gRefreshes = 0;
void CountRefresh() {
  ++gRefreshes;
}

// The controls the service is sent, one per pass of its loop; a stop follows
// the last, so that the loop always ends.
std::vector<uint32_t> gControls;
size_t gPass = 0;
bool gServing = false;

void SendControlsDuringPasses(uint32_t ms) {
  if (!gServing || ms != 201) {
    return;
  }
  const uint32_t control = gPass < gControls.size() ? gControls[gPass] : plat::kServiceControlStop;
  ++gPass;
  if (control == 0) {
    return;
  }
  // Without a registered handler the dispatcher has nobody to call; the stop
  // still has to end the test's loop.
  if (sim::machine().controlHandler != nullptr) {
    sim::machine().controlHandler(control);
  } else {
    ServiceControlHandler(control);
  }
}

std::vector<uint32_t> ReportedStates() {
  std::vector<uint32_t> states;
  for (const sim::Event& event : sim::machine().events) {
    if (event.kind == sim::EventKind::ServiceReport) {
      states.push_back(event.state);
    }
  }
  return states;
}

class FaultInjectionTest : public TunerTest {
 protected:
  void SetUp() override {
    TunerTest::SetUp();
    gRefreshes = 0;
    gControls.clear();
    gPass = 0;
    gServing = false;
  }

  void TearDown() override { ResetServiceRuntime(nullptr); }

  static void ResetServiceRuntime(CacheTuner* tuner) {
    serviceRuntime().tuner = tuner;
    serviceRuntime().statusHandle = nullptr;
    serviceRuntime().serviceRunning = true;
  }

  // Runs velsvc's entry point with these arguments after the program name.
  static std::wstring RunVelsvc(std::vector<std::wstring> arguments,
                                const std::wstring& program = kProgram) {
    arguments.insert(arguments.begin(), program);
    std::vector<wchar_t*> argv;
    for (std::wstring& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    machine().output.clear();
    EXPECT_EQ(ServiceEntry(static_cast<int>(arguments.size()), argv.data()), 0);
    return machine().output;
  }

  // velsvc as the service control manager starts it, sent `controls` during
  // its first passes and then stopped.
  static void RunAsService(std::vector<uint32_t> controls) {
    machine().startedByServiceManager = true;
    machine().onSleep = &SendControlsDuringPasses;
    gControls = std::move(controls);
    gPass = 0;
    gServing = true;
    RunVelsvc({});
    gServing = false;
  }

  static sim::Service& Installed(uint32_t state) {
    sim::Service& service = machine().AddService(kServiceName, kProgram);
    service.displayName = kServiceDisplayName;
    service.status.currentState = state;
    return service;
  }

  // ---- The program paths of the sweep, each on a fresh machine ----------------

  // velsvc's process-wide objects, then ticks in both paths and every load band
  // with each periodic action falling due, and a reload.
  static void PrepareServiceProcess() {
    SetMemory(512 * kMB, 16 * kMB, 50, 64 * kMB);
    machine().fileCache.currentSize = 400 * kMB;
    machine().drives = {sim::Drive{'C', plat::kDriveFixed, true},
                        sim::Drive{'D', plat::kDriveFixed, true},
                        sim::Drive{'E', plat::kDriveCdrom, true}};
    PutDword(L"MemoryZipperPlus", 1);
    PutDword(L"RamAvailable", 4000);
  }
  static void RunServiceProcess() {
    SystemCacheControl cache;
    SettingsStore settings;
    CSqueezeRam squeezer(kServiceTouchStride);
    CacheTuner tuner(cache, settings, squeezer);
    TunerState& s = CacheTunerTest::State(tuner);
    for (const uint32_t mode : {0u, 1u}) {
      PutDword(L"Settings", mode);
      tuner.ReloadSettings();
      for (const uint32_t load : {20u, 50u, 70u, 78u, 85u, 95u, 130u}) {
        SetMemory(512 * kMB, 16 * kMB, load, 64 * kMB);
        s.maintenanceCount = 8001;
        s.reloadCount = 21001;
        s.fixedFlushCount = 171;
        s.autoFlushCount = 171;
        s.zipperCallCount = 51;
        s.emptyCount = 21;
        s.zipperCount = 50;
        s.throttleCount = 26;
        tuner.Tick();
      }
    }
  }

  // velmon's cache control, both memory actions in every band, and its
  // autostart value.
  static void PrepareTray() {
    machine().programPath = kTrayProgram;
    machine().fileCache.minimumPages = 300;
    machine().fileCache.maximumPages = 5000;
  }
  static void RunTray() {
    SystemCacheControl cache;
    CSqueezeRam squeezer(kTrayTouchStride);
    const MemoryActionContext context{cache, squeezer, &CountRefresh};
    for (const uint32_t load : {20u, 40u, 60u, 81u, 95u}) {
      SetMemory(512 * kMB, 100 * kMB, load, 100 * kMB);
      BoostMemoryNow(context);
    }
    EmptySystemCache(cache);
    RegisterAutostart();
  }

  // velsvc's process-wide objects, every switch against an installed, running
  // service, and the service run with each control code it knows.
  static void PrepareVelsvc() {
    SetMemory(512 * kMB, 256 * kMB, 50, 512 * kMB);
    machine().programPath = kProgram;
    Installed(plat::kServiceRunning);
  }
  static void RunVelsvcSwitches() {
    SystemCacheControl cache;
    SettingsStore settings;
    CSqueezeRam squeezer(kServiceTouchStride);
    CacheTuner tuner(cache, settings, squeezer);
    ResetServiceRuntime(&tuner);
    RunVelsvc({L"-info"});
    RunVelsvc({L"-stop", L"-start"});
    RunVelsvc({L"-start"}, L"velsvc");
    RunVelsvc({L"-remove", L"-info", L"-stop"});
    RunVelsvc({L"-install", L"/x", L"-install"});
    RunAsService({kServiceControlReloadSettings, kServiceControlStatusQuery,
                  plat::kServiceControlInterrogate});
    RunAsService({0, plat::kServiceControlShutdown});
    ResetServiceRuntime(nullptr);
  }

  struct Path {
    const char* name;
    void (*prepare)();
    void (*run)();
  };

  static constexpr Path kPaths[] = {
      {"service process", &PrepareServiceProcess, &RunServiceProcess},
      {"tray", &PrepareTray, &RunTray},
      {"velsvc switches and service", &PrepareVelsvc, &RunVelsvcSwitches},
  };

  // Runs a path on a fresh machine with one kind of call failing on the given
  // ordinal (0: always), and checks that nothing was left behind.
  // With `raises`, a failing call made inside a guard raises a fault there.
  static void RunFailing(const Path& path, Call call, uint64_t ordinal, bool raises = false) {
    sim::Reset();
    path.prepare();
    if (call != Call::Count) {
      if (ordinal == 0) {
        machine().FailAlways(call);
      } else {
        machine().FailOn(call, ordinal);
      }
      machine().faults[static_cast<size_t>(call)].raises = raises;
    }
    machine().recording = false;
    path.run();
    EXPECT_EQ(machine().openHandles, 0) << "a handle was left open";
    for (const sim::Machine::NamedMutex& mutex : machine().mutexes) {
      EXPECT_EQ(mutex.openHandles, 0u) << sim::Narrow(mutex.name) << " is still held";
    }
    if (call != Call::Release) {
      for (const sim::Machine::Block& block : machine().blocks) {
        EXPECT_FALSE(block.live) << "committed memory was not released";
      }
    }
  }

  static void SweepAllPaths(bool raises, std::array<uint64_t, sim::kCallKinds>& callsOverAllPaths,
                            uint64_t& raised);
};

// A kind of call is failed always, and then on each of its calls in turn.
std::vector<uint64_t> OrdinalsToFail(uint64_t calls) {
  std::vector<uint64_t> ordinals = {0};
  for (uint64_t ordinal = 1; ordinal <= calls; ++ordinal) {
    ordinals.push_back(ordinal);
  }
  return ordinals;
}

// Runs every path with each kind of call it makes failing always and then on
// each of its calls in turn (raising a fault inside guards with `raises`).
// Adds the calls each kind made without failures to `callsOverAllPaths`, and
// the faults the guards caught to `raised`; stops at the first failed run.
void FaultInjectionTest::SweepAllPaths(bool raises,
                                       std::array<uint64_t, sim::kCallKinds>& callsOverAllPaths,
                                       uint64_t& raised) {
  for (const Path& path : kPaths) {
    SCOPED_TRACE(path.name);
    RunFailing(path, Call::Count, 0);
    std::array<uint64_t, sim::kCallKinds> calls{};
    for (size_t i = 0; i < sim::kCallKinds; ++i) {
      calls[i] = sim::machine().faults[i].calls;
      callsOverAllPaths[i] += calls[i];
    }
    for (size_t i = 0; i < sim::kCallKinds; ++i) {
      const auto call = static_cast<Call>(i);
      if (calls[i] == 0) {
        continue;
      }
      for (const uint64_t ordinal : OrdinalsToFail(calls[i])) {
        SCOPED_TRACE(std::string(sim::CallName(call)) + (raises ? " faulting " : " failing ") +
                     (ordinal == 0 ? std::string("always") : "on call " + std::to_string(ordinal)));
        RunFailing(path, call, ordinal, raises);
        raised += sim::machine().faultsRaised;
        if (::testing::Test::HasFailure()) {
          return;
        }
      }
    }
  }
}

TEST_F(FaultInjectionTest, EveryFailingCallOnEveryPathLeavesNothingOpen) {
  std::array<uint64_t, sim::kCallKinds> callsOverAllPaths{};
  uint64_t raised = 0;
  SweepAllPaths(false, callsOverAllPaths, raised);
  for (size_t i = 0; i < sim::kCallKinds; ++i) {
    EXPECT_GT(callsOverAllPaths[i], 0u)
        << sim::CallName(static_cast<Call>(i)) << " is made by no path, so never failed";
  }
  EXPECT_EQ(raised, 0u);
}

// A fault raised inside a guard abandons the guarded body without destroying
// what its frames hold: nothing may be left open by any of them.
TEST_F(FaultInjectionTest, EveryFaultRaisedInAGuardOnEveryPathLeavesNothingOpen) {
  std::array<uint64_t, sim::kCallKinds> callsOverAllPaths{};
  uint64_t raised = 0;
  SweepAllPaths(true, callsOverAllPaths, raised);
  EXPECT_GT(raised, 0u) << "no guard was ever reached";
}

// ---- What each failure does -----------------------------------------------------

TEST_F(FaultInjectionTest, PrivilegeFailuresDoNotStopBinding) {
  // The lookup, the adjustment that reads the privilege's state, and the one
  // that enables it.
  const std::pair<Call, uint64_t> failures[] = {
      {Call::PrivilegeLookup, 1}, {Call::PrivilegeAdjust, 1}, {Call::PrivilegeAdjust, 2}};
  for (const auto& [call, ordinal] : failures) {
    SCOPED_TRACE(std::string(sim::CallName(call)) + " " + std::to_string(ordinal));
    sim::Reset();
    machine().FailOn(call, ordinal);
    SystemCacheControl control;
    EXPECT_TRUE(control.initialized);
    EXPECT_EQ(control.privilegeFailed, 1);
    EXPECT_EQ(machine().openHandles, 0) << "the token is closed";
  }
}

TEST_F(FaultInjectionTest, FailedNativeCallsKeepThePublishedFigures) {
  machine().fileCache.currentSize = 8 * kMB;
  machine().fileCache.minimumPages = 64;
  machine().fileCache.maximumPages = 1024;
  SystemCacheControl control;
  ASSERT_EQ(control.Query(), 1);

  machine().fileCache.currentSize = 16 * kMB;
  machine().FailOn(Call::NativeQuery, 2);
  EXPECT_EQ(control.Query(), 0);
  EXPECT_EQ(control.currentSizeKB, 8192u);

  // A refused set is not followed by a query.
  machine().FailAlways(Call::NativeSet);
  const uint64_t queries = machine().Calls(Call::NativeQuery);
  EXPECT_EQ(control.SetLimits(128, 512), 0);
  EXPECT_EQ(machine().Calls(Call::NativeQuery), queries);
  EXPECT_EQ(machine().fileCache.maximumPages, 1024u) << "the limits did not change";
  EXPECT_EQ(control.maximumKB, 4096u);

  // A set whose query fails answers 0 although the limits changed.
  machine().faults[static_cast<size_t>(Call::NativeSet)].always = false;
  machine().FailOn(Call::NativeQuery, queries + 1);
  EXPECT_EQ(control.SetLimits(128, 512), 0);
  EXPECT_EQ(machine().fileCache.maximumPages, 128u);
  EXPECT_EQ(control.maximumKB, 4096u);
}

TEST_F(FaultInjectionTest, ModuleThatCannotBeFoundLeavesCacheControlUnbound) {
  machine().FailOn(Call::ModuleLookup, 1);
  SystemCacheControl control;
  EXPECT_FALSE(control.initialized);
  EXPECT_EQ(control.bindFailed, 1);
  EXPECT_EQ(control.Query(), 0);
  // The next Initialize looks the module up again and binds.
  EXPECT_EQ(control.Initialize(), 1);
  EXPECT_EQ(control.Query(), 1);
  EXPECT_EQ(control.bindFailed, 1) << "only construction clears it";
}

TEST_F(FaultInjectionTest, FailedQueryAtConstructionDisablesTheTunerForGood) {
  // The tuner's first query is the construction's only one before its first limits.
  machine().FailOn(Call::NativeQuery, 1);
  Build();
  EXPECT_FALSE(state().enabled);
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{65536, 131072}})) << "the first limits are still set";
  EXPECT_EQ(state().target27KB, 141504u) << "the targets are still computed";
  ClearEvents();
  Ticks(3);
  EXPECT_TRUE(machine().events.empty()) << "later queries would work, but no tick tunes";
}

TEST_F(FaultInjectionTest, FaultingExtendedMemoryStatusFallsBackForGood) {
  machine().FailOn(Call::MemoryStatusEx, 1);
  Build();
  EXPECT_FALSE(state().useMemoryStatusEx);
  EXPECT_EQ(state().snapshot.totalPhysKB, 524288u) << "the snapshot is completed by the plain call";
  const uint64_t extended = machine().extendedStatusCalls;
  Ticks(2);
  EXPECT_EQ(machine().extendedStatusCalls, extended);
}

TEST_F(FaultInjectionTest, RegistryThatCannotBeOpenedIsNeitherReadNorWritten) {
  PutDword(L"BasedOnRam", 33);
  PutDword(L"Settings", 1);
  machine().FailAlways(Call::RegOpen);
  machine().FailAlways(Call::RegCreate);
  SettingsStore store;
  EXPECT_EQ(store.BasedOnRam, 72u) << "the default, not the registry's 33";
  EXPECT_EQ(store.Settings, 0u);
  EXPECT_EQ(store.ReadAutoOptHour(), 2u);
  EXPECT_EQ(store.WriteRamAvailable(10), 10u);
  EXPECT_EQ(store.RamAvailable, 10u);
  EXPECT_TRUE(RegSetNames().empty());
  EXPECT_EQ(RegDword(L"BasedOnRam"), 33u);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(FaultInjectionTest, KeyThatCannotBeOpenedIsCreatedAndRead) {
  PutDword(L"BasedOnRam", 33);
  machine().FailAlways(Call::RegOpen);
  SettingsStore store;
  EXPECT_EQ(store.BasedOnRam, 33u);
  EXPECT_EQ(RegSetNames().size(), 7u) << "the seven missing values are written";
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(FaultInjectionTest, FailedValueCallsOfTheSettings) {
  // A failed probe counts as a missing value: the held value is written over
  // the registry's.
  PutDword(L"BasedOnRam", 33);
  machine().FailOn(Call::RegQuery, 1);
  {
    SettingsStore store;
    EXPECT_EQ(store.BasedOnRam, 72u);
    EXPECT_EQ(RegDword(L"BasedOnRam"), 72u);
  }
  // A probe that finds the value and a read that fails give 0, and the
  // registry keeps its value.
  sim::Reset();
  SetMemory(512 * kMB, 256 * kMB, 50);
  PutDword(L"BasedOnRam", 33);
  machine().FailOn(Call::RegQuery, 2);
  {
    SettingsStore store;
    EXPECT_EQ(store.BasedOnRam, 0u);
    EXPECT_EQ(RegDword(L"BasedOnRam"), 33u);
  }
  // A write that fails leaves the value missing and the held value in use.
  sim::Reset();
  SetMemory(512 * kMB, 256 * kMB, 50);
  machine().FailAlways(Call::RegSet);
  {
    SettingsStore store;
    EXPECT_EQ(store.RamAvailable, 64u);
    EXPECT_EQ(RegDword(L"RamAvailable"), std::nullopt);
    EXPECT_TRUE(RegSetNames().empty());
  }
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(FaultInjectionTest, SqueezeMutexThatCannotBeCreatedDeclinesTheSqueeze) {
  CSqueezeRam squeezeRam(kServiceTouchStride);
  machine().FailOn(Call::MutexCreate, 1);
  squeezeRam.SqueezeRam(64);
  EXPECT_TRUE(Events(sim::EventKind::Commit).empty());
  EXPECT_EQ(machine().Calls(Call::ThreadStart), 0u) << "the request's probe failed";
  EXPECT_EQ(squeezeRam.pendingAmountMB(), 0u);

  // The worker's own mutex fails: the worker ends without squeezing.
  machine().FailOn(Call::MutexCreate, 3);
  squeezeRam.SqueezeRam(64);
  EXPECT_EQ(machine().Calls(Call::ThreadStart), 1u);
  EXPECT_TRUE(Events(sim::EventKind::Commit).empty());
  EXPECT_EQ(machine().MutexHolders(kSqueezeMutexName), 0u);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(FaultInjectionTest, FailedCommitOrReleaseSkipsOnlyThatBlock) {
  CSqueezeRam squeezeRam(kServiceTouchStride);
  machine().FailOn(Call::Commit, 2);
  machine().FailOn(Call::Release, 3);
  squeezeRam.SqueezeRam(8);
  const auto commits = Events(sim::EventKind::Commit);
  ASSERT_EQ(commits.size(), 8u);
  EXPECT_FALSE(commits[1].ok);
  EXPECT_EQ(machine().blocks.size(), 7u);
  // Seven releases tried, the third refused; every block was touched.
  EXPECT_EQ(machine().Calls(Call::Release), 7u);
  EXPECT_EQ(Events(sim::EventKind::Release).size(), 6u);
  for (const sim::Machine::Block& block : machine().blocks) {
    EXPECT_GT(block.writes, 0u);
  }
  EXPECT_EQ(machine().MutexHolders(kSqueezeMutexName), 0u);
}

TEST_F(FaultInjectionTest, VolumeThatFailsDoesNotStopTheFlush) {
  machine().drives = {sim::Drive{'C', plat::kDriveFixed, true},
                      sim::Drive{'D', plat::kDriveFixed, true}};
  BuildPastFirstTick();
  const auto flushed = [] {
    std::string volumes;
    for (const sim::Event& event : Events(sim::EventKind::Flush)) {
      volumes += event.volume;
    }
    return volumes;
  };
  machine().FailOn(Call::VolumeOpen, machine().Calls(Call::VolumeOpen) + 1);
  CacheTunerTest::FlushFixedDrives(*tuner);
  EXPECT_EQ(flushed(), "D");
  ClearEvents();
  machine().FailOn(Call::VolumeFlush, machine().Calls(Call::VolumeFlush) + 1);
  CacheTunerTest::FlushFixedDrives(*tuner);
  EXPECT_EQ(flushed(), "D");
  EXPECT_EQ(machine().openHandles, 0) << "the volume whose flush failed is closed";
}

TEST_F(FaultInjectionTest, ZipperSqueezesAlthoughItsThresholdCannotBeWritten) {
  PutDword(L"MemoryZipperPlus", 1);
  PutDword(L"RamAvailable", 2000);
  SetMemory(512 * kMB, 100 * kMB, 50, 512 * kMB);
  BuildPastFirstTick();
  machine().FailAlways(Call::RegSet);
  state().zipperCount = 50;
  CacheTunerTest::MemoryZipper(*tuner);
  EXPECT_EQ(state().RamAvailable, 102u) << "the copy holds the new threshold";
  EXPECT_EQ(RegDword(L"RamAvailable"), 2000u);
  EXPECT_EQ(SqueezesMB(), std::vector<uint64_t>{102});
}

TEST_F(FaultInjectionTest, TrayActionsWithFailingCalls) {
  SystemCacheControl control;
  CSqueezeRam squeezeRam(kTrayTouchStride);
  const MemoryActionContext context{control, squeezeRam, &CountRefresh};

  // No squeeze mutex: both requests of the top band are declined, the cache is
  // still emptied and the icon still refreshed after each request.
  machine().FailAlways(Call::MutexCreate);
  SetMemory(512 * kMB, 100 * kMB, 90, 100 * kMB);
  BoostMemoryNow(context);
  EXPECT_TRUE(Events(sim::EventKind::Commit).empty());
  EXPECT_EQ(CacheSetsKB().size(), 4u);
  EXPECT_EQ(gRefreshes, 2);

  // The emptying's query fails: the limits read by the last query that worked
  // are restored.
  machine().fileCache.minimumPages = 300;
  machine().fileCache.maximumPages = 5000;
  ASSERT_EQ(control.Query(), 1);
  machine().fileCache.minimumPages = 10;
  machine().fileCache.maximumPages = 20;
  ClearEvents();
  machine().FailOn(Call::NativeQuery, machine().Calls(Call::NativeQuery) + 1);
  EmptySystemCache(control);
  EXPECT_EQ(CacheSetsKB().back(), std::make_pair(1200u, 20000u));
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(FaultInjectionTest, AutostartIsWrittenOnlyWhenEveryStepWorks) {
  machine().programPath = kTrayProgram;
  const auto written = [] {
    return machine().Key(plat::kLocalMachine, kRunKeyPath).Find(kAutostartValueName) != nullptr;
  };
  for (const Call call : {Call::RegOpen, Call::RegCreate, Call::RegSet, Call::ProgramPath}) {
    sim::Reset();
    machine().programPath = kTrayProgram;
    machine().FailAlways(call);
    RegisterAutostart();
    // The key does not exist yet, so it is created: failing the open alone changes nothing.
    EXPECT_EQ(written(), call == Call::RegOpen) << sim::CallName(call);
    EXPECT_EQ(machine().openHandles, 0) << sim::CallName(call);
  }
}

TEST_F(FaultInjectionTest, VelsvcMessagesFollowWhatExistsAndIsRunningAnswer) {
  machine().programPath = kProgram;
  Build();
  ResetServiceRuntime(tuner.get());

  // Without the manager nothing is installed, whatever the database holds.
  Installed(plat::kServiceRunning);
  machine().FailAlways(Call::ManagerOpen);
  EXPECT_EQ(RunVelsvc({L"-stop"}), L"Service is not installed....\n");
  EXPECT_EQ(RunVelsvc({L"-remove"}), L"Sucessfully uninstalled the Service...\n");
  EXPECT_EQ(RunVelsvc({L"-install"}),
            L"Error in getting Service status.\nService may not be installed properly...\n");
  EXPECT_NE(RunVelsvc({L"-info"}).find(L"Velmora Service is not Installed.\n"), std::wstring::npos);
  EXPECT_NE(machine().FindService(kServiceName), nullptr) << "nothing was removed";

  // A status that cannot be read counts as not running.
  sim::Reset();
  Installed(plat::kServiceRunning);
  machine().FailAlways(Call::ServiceQueryStatus);
  EXPECT_NE(RunVelsvc({L"-info"}).find(L"Velmora Service is not running currently.\n"),
            std::wstring::npos);
  EXPECT_EQ(RunVelsvc({L"-remove"}), L"Sucessfully uninstalled the Service...\n")
      << "no stop message for a service that does not seem to run";

  // A configuration that cannot be read: -info prints empty texts, -start reinstalls.
  for (const Call call : {Call::ServiceQueryConfig, Call::LocalAlloc}) {
    sim::Reset();
    machine().programPath = kProgram;
    Installed(plat::kServiceStopped);
    machine().FailAlways(call);
    const std::wstring info = RunVelsvc({L"-info"});
    EXPECT_NE(info.find(L"Service display name is \nService Executable Path is \n"),
              std::wstring::npos)
        << sim::CallName(call);
    EXPECT_EQ(RunVelsvc({L"-start"}).rfind(L"Deleted the old installed Service.\n", 0), 0u)
        << sim::CallName(call);
  }

  // Creation, deletion, start and control refused.
  sim::Reset();
  machine().FailAlways(Call::ServiceCreate);
  EXPECT_EQ(RunVelsvc({L"-install"}),
            L"Error in getting Service status.\nService may not be installed properly...\n");

  sim::Reset();
  Installed(plat::kServiceStopped);
  machine().FailAlways(Call::ServiceDelete);
  EXPECT_EQ(RunVelsvc({L"-install"}),
            L"Failed to delete the old Service installedError in getting Service status.\n"
            L"Service may not be installed properly...\n")
      << "the entry that exists is the old one";
  EXPECT_EQ(RunVelsvc({L"-remove"}), L"Failed to remove the service.....\n");

  sim::Reset();
  Installed(plat::kServiceStopped);
  machine().FailAlways(Call::ServiceStart);
  EXPECT_EQ(RunVelsvc({L"-start"}),
            L"Error in getting Service status.\nService may not be installed properly...\n");

  sim::Reset();
  Installed(plat::kServiceRunning);
  machine().FailAlways(Call::ServiceControl);
  EXPECT_EQ(RunVelsvc({L"-stop"}), L"Failure to stop the Service.\n");
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(FaultInjectionTest, VelsvcRunsOnWithoutItsPresenceMutex) {
  machine().FailAlways(Call::MutexCreate);
  EXPECT_EQ(RunVelsvc({L"-stop"}), L"Service is not installed....\n");
  EXPECT_EQ(machine().MutexHolders(kPresenceMutex), 0u);
  EXPECT_EQ(machine().openHandles, 0) << "no null handle was closed";
}

TEST_F(FaultInjectionTest, ServiceEntryFailures) {
  Build();
  ResetServiceRuntime(tuner.get());

  // The dispatcher refuses: nothing runs, nothing is printed.
  machine().FailAlways(Call::Dispatcher);
  RunAsService({});
  EXPECT_TRUE(machine().output.empty());
  EXPECT_TRUE(ReportedStates().empty());
  EXPECT_EQ(machine().MutexHolders(kPresenceMutex), 0u);

  // Without a handler, or with every report refused, the loop still ticks and ends.
  for (const Call call : {Call::HandlerRegister, Call::StatusReport}) {
    FreshMachine();
    ResetServiceRuntime(tuner.get());
    machine().FailAlways(call);
    const uint32_t ticksBefore = state().autoFlushCount;
    RunAsService({0, 0, 0, 0, 0});
    EXPECT_EQ(state().autoFlushCount, ticksBefore + 2) << sim::CallName(call);
    EXPECT_TRUE(ReportedStates().empty()) << sim::CallName(call);
    EXPECT_EQ(machine().openHandles, 0) << sim::CallName(call);
  }

  // A report refused now and then changes nothing else.
  FreshMachine();
  ResetServiceRuntime(tuner.get());
  machine().FailOn(Call::StatusReport, 2);
  RunAsService({});
  EXPECT_EQ(ReportedStates(),
            (std::vector<uint32_t>{plat::kServiceStartPending, plat::kServiceStopPending,
                                   plat::kServiceStopped}));
}

}  // namespace
