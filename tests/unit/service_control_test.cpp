#include "service/service_control.h"

#include <string>
#include <utility>
#include <vector>

#include "tests/unit/sim_fixture.h"

namespace {

class ServiceControlTest : public SimTest {
 protected:
  static sim::Service& Installed(uint32_t state = plat::kServiceStopped) {
    return InstalledService(machine().programPath, state);
  }

  void TearDown() override { EXPECT_EQ(machine().openHandles, 0) << "a handle was left open"; }
};

TEST_F(ServiceControlTest, UnknownServiceNeitherExistsNorRuns) {
  EXPECT_FALSE(ServiceControl::Exists(kServiceName));
  EXPECT_FALSE(ServiceControl::IsRunning(kServiceName));
  EXPECT_FALSE(ServiceControl::SendControl(kServiceName, plat::kServiceControlStop));
  EXPECT_FALSE(ServiceControl::StartAndWait(kServiceName));
  EXPECT_FALSE(ServiceControl::Remove(kServiceName));
}

TEST_F(ServiceControlTest, WithoutRightsOnTheManagerNothingIsSeen) {
  Installed(plat::kServiceRunning);
  machine().managerOpens = false;
  EXPECT_FALSE(ServiceControl::Exists(kServiceName));
  EXPECT_FALSE(ServiceControl::IsRunning(kServiceName));
  EXPECT_FALSE(ServiceControl::Install(kServiceName, kServiceDisplayName));
}

TEST_F(ServiceControlTest, WhichStatesCountAsRunning) {
  sim::Service& service = Installed();
  const std::pair<uint32_t, bool> states[] = {{plat::kServiceStopped, false},
                                              {plat::kServiceStartPending, true},
                                              {plat::kServiceStopPending, false},
                                              {plat::kServiceRunning, true},
                                              {plat::kServiceContinuePending, false},
                                              {plat::kServicePausePending, true},
                                              {plat::kServicePaused, true}};
  for (const auto& [state, running] : states) {
    service.status.currentState = state;
    EXPECT_EQ(ServiceControl::IsRunning(kServiceName), running) << state;
  }
}

TEST_F(ServiceControlTest, StartingARunningServiceFailsWithoutPolling) {
  Installed(plat::kServiceRunning);
  EXPECT_FALSE(ServiceControl::StartAndWait(kServiceName));
  EXPECT_TRUE(Sleeps().empty());
}

TEST_F(ServiceControlTest, StartPendingWithoutProgressIsSleptOnOnce) {
  sim::Service& service = Installed();
  service.stateAfterStart = plat::kServiceStartPending;
  service.waitHintAfterStart = 8192;
  EXPECT_FALSE(ServiceControl::StartAndWait(kServiceName));
  EXPECT_EQ(Sleeps(), std::vector<uint64_t>{8192});

  // Judged by the state read after the sleep.
  ClearEvents();
  service.status.currentState = plat::kServiceStopped;
  machine().onSleep = [](uint32_t) {
    machine().FindService(kServiceName)->status.currentState = plat::kServiceRunning;
  };
  EXPECT_TRUE(ServiceControl::StartAndWait(kServiceName));
  EXPECT_EQ(Sleeps(), std::vector<uint64_t>{8192});
}

TEST_F(ServiceControlTest, StartPollsAtMostFiveTimes) {
  sim::Service& service = Installed();
  service.stateAfterStart = plat::kServiceStartPending;
  service.waitHintAfterStart = 300;
  // The service advances its checkpoint on every poll but never gets there.
  machine().onSleep = [](uint32_t) { ++machine().FindService(kServiceName)->status.checkPoint; };
  EXPECT_FALSE(ServiceControl::StartAndWait(kServiceName));
  EXPECT_EQ(Sleeps(), std::vector<uint64_t>(5, 300));
}

TEST_F(ServiceControlTest, StopWaitsOnlyWhenAccepted) {
  sim::Service& service = Installed(plat::kServiceRunning);
  service.acceptsStop = false;
  EXPECT_FALSE(ServiceControl::Stop(kServiceName));
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0}));

  ClearEvents();
  service.acceptsStop = true;
  EXPECT_TRUE(ServiceControl::Stop(kServiceName));
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0, 2048}));
  EXPECT_EQ(service.status.currentState, plat::kServiceStopped);

  // A service that takes its time is not yet stopped after 2048 ms.
  service.status.currentState = plat::kServiceRunning;
  service.stateAfterStop = plat::kServiceStopPending;
  EXPECT_TRUE(ServiceControl::Stop(kServiceName)) << "stop-pending no longer counts as running";
}

TEST_F(ServiceControlTest, InstallCreatesAnAutomaticOwnProcessService) {
  ASSERT_TRUE(ServiceControl::Install(kServiceName, kServiceDisplayName));
  const sim::Service* service = machine().FindService(kServiceName);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->displayName, kServiceDisplayName);
  EXPECT_EQ(service->binaryPath, L"C:\\Velmora\\velsvc.exe");
  EXPECT_EQ(service->serviceType, plat::kServiceWin32OwnProcess);
  EXPECT_EQ(service->startType, plat::kServiceAutoStart);
  EXPECT_EQ(service->errorControl, plat::kServiceErrorIgnore);

  wchar_t displayName[kConfigTextCapacity];
  wchar_t path[kConfigTextCapacity];
  ASSERT_TRUE(ServiceControl::QueryConfig(kServiceName, displayName, path));
  EXPECT_STREQ(path, L"C:\\Velmora\\velsvc.exe");
  EXPECT_STREQ(displayName, kServiceDisplayName);

  // A second install changes nothing.
  machine().programPath = L"D:\\other\\velsvc.exe";
  EXPECT_FALSE(ServiceControl::Install(kServiceName, L"Other"));
  EXPECT_EQ(machine().FindService(kServiceName)->binaryPath, L"C:\\Velmora\\velsvc.exe");
}

TEST_F(ServiceControlTest, PathWithABlankIsStoredInQuotes) {
  machine().programPath = L"C:\\Program Files\\Velmora\\velsvc.exe";
  ASSERT_TRUE(ServiceControl::Install(kServiceName, kServiceDisplayName));
  EXPECT_EQ(machine().FindService(kServiceName)->binaryPath,
            L"\"C:\\Program Files\\Velmora\\velsvc.exe\"");
}

TEST_F(ServiceControlTest, LongConfigTextsAreCutToTheBuffers) {
  sim::Service& service = Installed();
  service.displayName = std::wstring(300, L'd');
  service.binaryPath = std::wstring(400, L'p');
  wchar_t displayName[kConfigTextCapacity + 1];
  wchar_t path[kConfigTextCapacity + 1];
  displayName[kConfigTextCapacity] = L'#';
  path[kConfigTextCapacity] = L'#';
  ASSERT_TRUE(ServiceControl::QueryConfig(kServiceName, displayName, path));
  EXPECT_EQ(std::wstring(displayName), std::wstring(255, L'd'));
  EXPECT_EQ(std::wstring(path), std::wstring(255, L'p'));
  EXPECT_EQ(displayName[kConfigTextCapacity], L'#');
  EXPECT_EQ(path[kConfigTextCapacity], L'#');
}

TEST_F(ServiceControlTest, FailedConfigQueryLeavesBuffersAlone) {
  Installed();
  machine().configQueryFails = true;
  wchar_t displayName[kConfigTextCapacity] = L"before";
  wchar_t path[kConfigTextCapacity] = L"before";
  EXPECT_FALSE(ServiceControl::QueryConfig(kServiceName, displayName, path));
  EXPECT_STREQ(displayName, L"before");
  EXPECT_STREQ(path, L"before");
}

TEST_F(ServiceControlTest, RemoveDeletesAStoppedService) {
  Installed();
  EXPECT_TRUE(ServiceControl::Remove(kServiceName));
  EXPECT_FALSE(ServiceControl::Exists(kServiceName));
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0}));
}

TEST_F(ServiceControlTest, RemoveOfAServiceThatWillNotStop) {
  sim::Service& service = Installed(plat::kServiceRunning);
  service.acceptsStop = false;
  EXPECT_TRUE(ServiceControl::Remove(kServiceName)) << "marked for deletion";
  // Stop control, 5121 ms, a stop attempt, 2048 ms, another stop attempt.
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0, 5121, 0, 0, 2048, 0, 0}));
  EXPECT_TRUE(service.markedForDeletion);
  EXPECT_TRUE(ServiceControl::Exists(kServiceName)) << "it lives on until it stops";
}

TEST_F(ServiceControlTest, EachOperationAsksForItsRights) {
  using Open = sim::Service::Open;
  constexpr uint32_t kRead = plat::kGenericRead | plat::kScManagerConnect;
  constexpr uint32_t kQuery =
      plat::kServiceQueryConfig | plat::kServiceQueryStatus | plat::kServiceInterrogate;
  const Open control{kRead, plat::kGenericExecute | plat::kServiceStop | plat::kServiceInterrogate};
  const Open query{kRead, kQuery};
  struct Case {
    const char* operation;
    bool installed;
    uint32_t state;
    bool (*run)();
    std::vector<Open> opens;
  };
  const Case cases[] = {
      {"SendControl",
       true,
       plat::kServiceRunning,
       [] { return ServiceControl::SendControl(kServiceName, plat::kServiceControlStop); },
       {control}},
      {"StartAndWait",
       true,
       plat::kServiceStopped,
       [] { return ServiceControl::StartAndWait(kServiceName); },
       {{kRead, plat::kGenericExecute | plat::kServiceStart | plat::kServiceQueryStatus}}},
      {"Exists",
       true,
       plat::kServiceRunning,
       [] { return ServiceControl::Exists(kServiceName); },
       {query}},
      {"IsRunning",
       true,
       plat::kServiceRunning,
       [] { return ServiceControl::IsRunning(kServiceName); },
       {query}},
      {"QueryConfig",
       true,
       plat::kServiceRunning,
       [] {
         wchar_t displayName[kConfigTextCapacity];
         wchar_t path[kConfigTextCapacity];
         return ServiceControl::QueryConfig(kServiceName, displayName, path);
       },
       {{kRead, plat::kServiceQueryConfig | plat::kServiceQueryStatus}}},
      // Its own open, then those of the stop control and the three state checks.
      {"Remove",
       true,
       plat::kServiceRunning,
       [] { return ServiceControl::Remove(kServiceName); },
       {{plat::kGenericWrite | plat::kScManagerConnect, plat::kGenericWrite | plat::kDelete},
        control,
        query,
        query,
        query}},
      {"Stop",
       true,
       plat::kServiceRunning,
       [] { return ServiceControl::Stop(kServiceName); },
       {control, query}},
      {"Install",
       false,
       plat::kServiceStopped,
       [] { return ServiceControl::Install(kServiceName, kServiceDisplayName); },
       {{plat::kGenericWrite | plat::kScManagerCreateService, plat::kServiceAllAccess}}},
  };
  for (const Case& c : cases) {
    sim::Reset();
    if (c.installed) {
      Installed(c.state);
    }
    EXPECT_TRUE(c.run()) << c.operation;
    ASSERT_EQ(machine().services.size(), 1u) << c.operation;
    EXPECT_EQ(machine().services.front()->opens, c.opens) << c.operation;
  }
}

TEST_F(ServiceControlTest, APathLongerThanTheBufferIsNotInstalled) {
  // 259 characters and the terminating zero fill the 260-character buffer.
  const std::pair<size_t, bool> cases[] = {{259, true}, {260, false}, {400, false}};
  for (const auto& [length, installs] : cases) {
    sim::Reset();
    machine().programPath = L"C:\\" + std::wstring(length - 3, L'x');
    EXPECT_EQ(ServiceControl::Install(kServiceName, kServiceDisplayName), installs) << length;
    const sim::Service* service = machine().FindService(kServiceName);
    EXPECT_EQ(service != nullptr, installs) << length;
    if (service != nullptr) {
      EXPECT_EQ(service->binaryPath, machine().programPath);
    }
  }
}

}  // namespace
