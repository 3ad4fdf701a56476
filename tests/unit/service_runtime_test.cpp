#include "service/service_runtime.h"

#include "tests/unit/tuner_fixture.h"

namespace {

// What the handler is sent, by pass: the n-th 201 ms sleep sends plan[n].
std::vector<uint32_t> gPlan;
size_t gPass = 0;
// Whether the handler is running, and the cache sets made meanwhile.
bool gInHandler = false;
int gSetsInHandler = 0;

class ServiceRuntimeTest : public TunerTest {
 protected:
  void SetUp() override {
    TunerTest::SetUp();
    PutDword(L"AutoOptHour", 30000);  // no boost: the passes are what counts here
    Build();
    serviceRuntime().tuner = tuner.get();
    serviceRuntime().cache = cache.get();
    serviceRuntime().serviceRunning = true;
    serviceRuntime().statusHandle = nullptr;
    gPlan.clear();
    gPass = 0;
    gInHandler = false;
    gSetsInHandler = 0;
    machine().onSleep = [](uint32_t ms) {
      if (ms == 201 && gPass < gPlan.size()) {
        const uint32_t control = gPlan[gPass++];
        if (control != 0) {
          gInHandler = true;
          machine().controlHandler(control);
          gInHandler = false;
        }
      }
    };
    machine().listener = [](const sim::Event& e) {
      if (e.kind == sim::EventKind::CacheSet && gInHandler) {
        ++gSetsInHandler;
      }
    };
    ClearEvents();
  }

  // Runs the service; `plan` says which control arrives during each pass
  // (0: none). It must end with a stop.
  void RunService(std::vector<uint32_t> plan) {
    gPlan = std::move(plan);
    gPass = 0;
    ServiceMain(0, nullptr);
  }

  // The cache emptyings run on request: the sets each followed by a 100 ms
  // pause (the loop and the tuner pause otherwise), in KB, four to a run; when
  // each run began by the machine's clock, and the limits set last before it.
  struct Emptying {
    uint64_t atMs;
    std::pair<uint32_t, uint32_t> before;
    CacheSets sets;
  };
  static std::vector<Emptying> Emptyings() {
    const auto kb = [](const sim::Event& set) {
      const auto one = [](uint64_t bytes) {
        return bytes == sim::kAllOnes ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes >> 10);
      };
      return std::make_pair(one(set.minimum), one(set.maximum));
    };
    std::vector<Emptying> result;
    const sim::Event* pending = nullptr;  // the last set, not yet told apart
    std::pair<uint32_t, uint32_t> lastOther{0, 0};
    uint64_t clock = 0;
    uint64_t pendingAt = 0;
    for (const sim::Event& e : machine().events) {
      if (e.kind == sim::EventKind::CacheSet) {
        if (pending != nullptr) {
          lastOther = kb(*pending);
        }
        pending = &e;
        pendingAt = clock;
      } else if (e.kind == sim::EventKind::Sleep) {
        if (pending != nullptr && e.value == 100) {
          if (result.empty() || result.back().sets.size() == 4) {
            result.push_back(Emptying{pendingAt, lastOther, {}});
          }
          result.back().sets.push_back(kb(*pending));
        } else if (pending != nullptr) {
          lastOther = kb(*pending);
        }
        pending = nullptr;
        clock += e.value;
      }
    }
    return result;
  }

  static std::vector<std::pair<uint32_t, uint32_t>> Reports() {
    std::vector<std::pair<uint32_t, uint32_t>> result;
    for (const sim::Event& e : Events(sim::EventKind::ServiceReport)) {
      result.emplace_back(e.state, e.waitHint);
    }
    return result;
  }
};

using Report = std::pair<uint32_t, uint32_t>;

TEST_F(ServiceRuntimeTest, StartsTicksAtOnceAndStopsWithinAPass) {
  RunService({0, 0, 0, 0, 0, plat::kServiceControlStop});
  EXPECT_EQ(Reports(), (std::vector<Report>{{plat::kServiceStartPending, 8192},
                                            {plat::kServiceRunning, 1024},
                                            {plat::kServiceStopPending, 2048},
                                            {plat::kServiceStopped, 2048}}));
  // Six passes: ticks on passes 1 and 5 (plus the one before the test).
  EXPECT_EQ(state().autoFlushCount, 2u);
  std::vector<uint64_t> sleeps;
  for (const sim::Event& e : Events(sim::EventKind::Sleep)) {
    sleeps.push_back(e.value);
  }
  EXPECT_EQ(sleeps, (std::vector<uint64_t>{1024, 201, 201, 201, 201, 201, 201}));
}

TEST_F(ServiceRuntimeTest, ShutdownIsAStop) {
  RunService({plat::kServiceControlShutdown});
  EXPECT_EQ(Reports().back(), Report(plat::kServiceStopped, 2048));
}

TEST_F(ServiceRuntimeTest, QueriesAndReloadReportRunning) {
  PutDword(L"BasedOnRam", 33);
  RunService({kServiceControlReloadSettings, kServiceControlStatusQuery,
              plat::kServiceControlInterrogate, plat::kServiceControlStop});
  EXPECT_EQ(state().BasedOnRam, 33u) << "144 reloads the settings";
  EXPECT_EQ(Reports(), (std::vector<Report>{{plat::kServiceStartPending, 8192},
                                            {plat::kServiceRunning, 1024},
                                            {plat::kServiceRunning, 1024},  // 144
                                            {plat::kServiceRunning, 0},     // 128
                                            {plat::kServiceRunning, 0},     // interrogate
                                            {plat::kServiceStopPending, 2048},
                                            {plat::kServiceStopped, 2048}}));
}

TEST_F(ServiceRuntimeTest, EmptyCacheRequestRunsTheSequenceOnTheServiceThread) {
  RunService({0, kServiceControlEmptyCache, 0, 0, plat::kServiceControlStop});
  EXPECT_EQ(gSetsInHandler, 0) << "the handler only notes the request";
  const auto emptyings = Emptyings();
  ASSERT_EQ(emptyings.size(), 1u);
  // The limits restored are those the tuner had set when the request came.
  const std::pair<uint32_t, uint32_t> tunerLimits = emptyings[0].before;
  EXPECT_EQ(emptyings[0].sets,
            (CacheSets{{256, 512}, {0xFFFFFFFF, 0xFFFFFFFF}, {256, 512}, tunerLimits}));
  EXPECT_GT(tunerLimits.second, 512u);
  // Right after the pass that took the request, before its 201 ms pause.
  const std::vector<uint64_t> sleeps = Sleeps();
  const std::vector<uint64_t> expected{1024, 201, 201, 100, 100, 100, 100, 201, 201, 201};
  EXPECT_EQ(sleeps, expected);
  EXPECT_EQ(Reports()[2], Report(plat::kServiceRunning, 1024)) << "145 reports running";
}

TEST_F(ServiceRuntimeTest, EmptyCacheRunsAtMostOncePerTenSeconds) {
  // Passes of 201 ms: 50 of them come to 10,050 ms, the emptying's pauses
  // aside. Requests that come sooner are merged and wait for the interval.
  struct Case {
    std::vector<size_t> requestPasses;
    size_t passes;
    size_t runs;
  };
  const Case cases[] = {
      {{0}, 10, 1},
      {{0, 1, 2, 3}, 10, 1},    // all within the first run's ten seconds
      {{0, 5}, 40, 1},          // the second still waits
      {{0, 5}, 60, 2},          // and runs once ten seconds have gone
      {{0, 55}, 60, 2},         // a request after the interval runs at once
      {{0, 3, 20, 30}, 80, 2},  // three waiting requests make one run
  };
  for (const Case& c : cases) {
    ClearEvents();
    std::vector<uint32_t> plan(c.passes, 0);
    for (const size_t pass : c.requestPasses) {
      plan[pass] = kServiceControlEmptyCache;
    }
    plan.push_back(plat::kServiceControlStop);
    RunService(plan);
    const auto emptyings = Emptyings();
    ASSERT_EQ(emptyings.size(), c.runs) << c.passes << " passes";
    for (size_t i = 1; i < emptyings.size(); ++i) {
      EXPECT_GE(emptyings[i].atMs - emptyings[i - 1].atMs, kEmptyCacheIntervalMs);
    }
    EXPECT_EQ(gSetsInHandler, 0);
  }
}

TEST_F(ServiceRuntimeTest, StopPendingIsReportedBeforeTheLoopMayEnd) {
  // Once the running flag is clear the loop may end and report stopped at any
  // moment; stop-pending must reach the manager before that.
  static bool runningAtStopPending;
  runningAtStopPending = false;
  machine().listener = [](const sim::Event& e) {
    if (e.kind == sim::EventKind::ServiceReport && e.state == plat::kServiceStopPending) {
      runningAtStopPending = serviceRuntime().serviceRunning;
    }
  };
  for (const uint32_t control : {plat::kServiceControlStop, plat::kServiceControlShutdown}) {
    ClearEvents();
    RunService({0, control});
    EXPECT_TRUE(runningAtStopPending) << control;
    EXPECT_EQ(Reports().back(), Report(plat::kServiceStopped, 2048)) << control;
  }
}

TEST_F(ServiceRuntimeTest, EveryReportCarriesTheFixedFields) {
  RunService({kServiceControlReloadSettings, kServiceControlStatusQuery,
              plat::kServiceControlInterrogate, plat::kServiceControlStop});
  struct Field {
    const char* name;
    uint32_t sim::Event::*member;
    uint32_t value;
  };
  const Field fields[] = {{"service type", &sim::Event::serviceType, plat::kServiceWin32OwnProcess},
                          {"controls accepted", &sim::Event::controlsAccepted, 5},
                          {"exit code", &sim::Event::win32ExitCode, 0},
                          {"service exit code", &sim::Event::serviceSpecificExitCode, 0},
                          {"checkpoint", &sim::Event::checkPoint, 0}};
  const std::vector<sim::Event> reports = Events(sim::EventKind::ServiceReport);
  ASSERT_EQ(reports.size(), 7u);
  for (const sim::Event& report : reports) {
    for (const Field& field : fields) {
      EXPECT_EQ(report.*field.member, field.value) << field.name << " in state " << report.state;
    }
  }
}

TEST_F(ServiceRuntimeTest, StatusQueryWhileStoppingReportsStopPending) {
  serviceRuntime().statusHandle =
      plat::RegisterControlHandler(L"Velmora Service", &ServiceControlHandler);
  serviceRuntime().serviceRunning = false;
  ServiceControlHandler(kServiceControlStatusQuery);
  EXPECT_EQ(Reports(), (std::vector<Report>{{plat::kServiceStopPending, 2048}}));
  EXPECT_FALSE(serviceRuntime().serviceRunning);
}

}  // namespace

namespace {

// The registry change the n-th pass makes from outside, by pass.
std::vector<void (*)()> gChanges;
size_t gChangePass = 0;

// A value written under the policies key, or deleted under the settings key,
// while the service runs is taken up within the pass it happens in: the wait
// ends, both keys are watched again, and the settings are read.
TEST_F(ServiceRuntimeTest, ASettingsOrPolicyChangeIsTakenUpWithinOnePass) {
  machine().Key(plat::kLocalMachine, L"SOFTWARE\\Policies").exists = true;
  gChanges = {
      [] {
        sim::RegKeyNode& policies = machine().Key(plat::kLocalMachine, kPoliciesKeyPath);
        const uint32_t fixed = 1;
        policies.Set(L"Settings", plat::kRegDword, &fixed, 4);
        policies.exists = true;
      },
      [] { SettingsKey().Remove(L"RamAvailable"); },
      [] { machine().controlHandler(plat::kServiceControlStop); },
  };
  gChangePass = 0;
  machine().onSleep = [](uint32_t ms) {
    if (ms == 201 && gChangePass < gChanges.size()) {
      gChanges[gChangePass++]();
    }
  };
  ASSERT_EQ(tuner->state().Settings, 0u);
  ServiceMain(0, nullptr);
  EXPECT_EQ(tuner->state().Settings, 1u) << "the policy is in force";
  EXPECT_EQ(RegDword(L"Settings"), 0u) << "and the settings key is left as it was";
  EXPECT_EQ(RegDword(L"RamAvailable"), 64u) << "the deleted value is written back at once";
  EXPECT_EQ(machine().openHandles, 0) << "the watch's keys and event are closed with it";
}

// Neither key is made just to watch it: a missing policies key is watched
// through its parent.
TEST_F(ServiceRuntimeTest, TheWatchCreatesNoKey) {
  machine().Key(plat::kLocalMachine, L"SOFTWARE\\Policies").exists = true;
  gChanges = {[] { machine().controlHandler(plat::kServiceControlStop); }};
  gChangePass = 0;
  machine().onSleep = [](uint32_t ms) {
    if (ms == 201 && gChangePass < gChanges.size()) {
      gChanges[gChangePass++]();
    }
  };
  ServiceMain(0, nullptr);
  EXPECT_FALSE(machine().Key(plat::kLocalMachine, kPoliciesKeyPath).exists);
  EXPECT_EQ(machine().openHandles, 0);
}

}  // namespace
