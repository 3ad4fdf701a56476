#include "service/service_runtime.h"

#include "tests/unit/tuner_fixture.h"

namespace {

// What the handler is sent, by pass: the n-th 201 ms sleep sends plan[n].
std::vector<uint32_t> gPlan;
size_t gPass = 0;

class ServiceRuntimeTest : public TunerTest {
 protected:
  void SetUp() override {
    TunerTest::SetUp();
    PutDword(L"AutoOptHour", 30000);  // no boost: the passes are what counts here
    Build();
    serviceRuntime().tuner = tuner.get();
    serviceRuntime().serviceRunning = true;
    serviceRuntime().statusHandle = nullptr;
    gPlan.clear();
    gPass = 0;
    machine().onSleep = [](uint32_t ms) {
      if (ms == 201 && gPass < gPlan.size()) {
        const uint32_t control = gPlan[gPass++];
        if (control != 0) {
          machine().controlHandler(control);
        }
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
