#include "service/command_line.h"

#include <string>

#include "service/service_control.h"
#include "service/service_runtime.h"
#include "tests/unit/tuner_fixture.h"

namespace {

const std::wstring kUsageRest =
    L"-remove : to remove the service.\nIf service is running it will be stopped.\n\n"
    L"-stop : to stop the service\n\n"
    L"-start : starts the service.\nIf service is not installed it will be installed.\n\n"
    L"-info : Current service status information.\n\n";
const std::wstring kBanner =
    L"\nVelmora Service 1.0: keeps the system file cache in bounds and frees memory.\n"
    L"Copyright (c) 2026 Quorlex.\n";
const std::wstring kProgram = L"C:\\Velmora\\velsvc.exe";
const std::wstring kDeleted =
    L"Deleted the old installed Service.\nNow installing the new Service again...\n"
    L"Please wait...\n";
const std::wstring kStatusError =
    L"Error in getting Service status.\nService may not be installed properly...\n";

// Each sleep that passes time brings a stopping service one sleep closer to
// stopped.
void CountDownStops(uint32_t ms) {
  for (auto& service : sim::machine().services) {
    if (ms != 0 && service->status.currentState == plat::kServiceStopPending &&
        service->sleepsUntilStopped > 0) {
      --service->sleepsUntilStopped;
    }
  }
}

class CommandLineTest : public TunerTest {
 protected:
  void SetUp() override {
    TunerTest::SetUp();
    machine().programPath = kProgram;
  }

  // Runs velsvc with these arguments after the program name.
  std::wstring Run(std::vector<std::wstring> arguments, std::wstring program = kProgram) {
    arguments.insert(arguments.begin(), program);
    std::vector<wchar_t*> argv;
    for (std::wstring& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    machine().output.clear();
    ClearEvents();
    EXPECT_EQ(ServiceEntry(static_cast<int>(arguments.size()), argv.data()), 0);
    EXPECT_EQ(machine().MutexHolders(sim::Widen(kServicePresenceMutexName)), 0u);
    return machine().output;
  }

  static sim::Service& Installed(const std::wstring& path, uint32_t state) {
    return InstalledService(path, state);
  }
};

TEST_F(CommandLineTest, WithoutSwitchesNothingIsPrinted) {
  EXPECT_EQ(Run({}), L"");
  EXPECT_EQ(Run({L"install", L"info"}), L"");
  EXPECT_TRUE(machine().services.empty());
}

TEST_F(CommandLineTest, NoArgumentsBecomesTheService) {
  Build();
  serviceRuntime().tuner = tuner.get();
  machine().startedByServiceManager = true;
  // Stop at the first pass's sleep; the presence mutex is held meanwhile.
  machine().onSleep = [](uint32_t ms) {
    if (ms == 201) {
      EXPECT_EQ(machine().MutexHolders(sim::Widen(kServicePresenceMutexName)), 1u);
      machine().controlHandler(plat::kServiceControlStop);
    }
  };
  EXPECT_EQ(Run({}), L"");
  EXPECT_EQ(Events(sim::EventKind::ServiceReport).back().state, plat::kServiceStopped);
}

TEST_F(CommandLineTest, InfoWhenNotInstalled) {
  const std::wstring expected = kBanner + L"Velmora Service is not Installed.\n" +
                                L"\n-install : to install the service.\n\n" + kUsageRest;
  EXPECT_EQ(Run({L"-info"}), expected);
  EXPECT_EQ(Run({L"/INFO"}), expected);
  EXPECT_EQ(Run({L"-Info"}), expected);
}

TEST_F(CommandLineTest, InfoWhenInstalled) {
  Installed(L"\"C:\\Program Files\\Velmora\\velsvc.exe\"", plat::kServiceRunning);
  EXPECT_EQ(Run({L"-info"}),
            kBanner + L"Velmora Service is installed.\n" +
                L"Service display name is Velmora Performance Optimizer and Tuner Service\n" +
                L"Service Executable Path is \"C:\\Program Files\\Velmora\\velsvc.exe\"\n" +
                L"Velmora Service is running.\n" + L"\n-install : to install the service.\n\n" +
                kUsageRest);
  machine().FindService(kServiceName)->status.currentState = plat::kServiceStopped;
  EXPECT_NE(Run({L"-info"}).find(L"Velmora Service is not running currently.\n"),
            std::wstring::npos);
}

TEST_F(CommandLineTest, UnknownSwitch) {
  const std::wstring expected =
      L"\nUnknown arguments. Supported are..\n"
      L"-install : to install the service.\n\n" +
      kUsageRest;
  EXPECT_EQ(Run({L"-x"}), expected);
  EXPECT_EQ(Run({L"-"}), expected);
  EXPECT_EQ(Run({L"/"}), expected);
}

TEST_F(CommandLineTest, InstallFresh) {
  EXPECT_EQ(Run({L"-install"}),
            L"Service installed now verifying the installation...\r\n"
            L"Service sucessfully installed...\n");
  EXPECT_EQ(Sleeps(), std::vector<uint64_t>{2048});
  const sim::Service* service = machine().FindService(kServiceName);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->status.currentState, plat::kServiceStopped) << "installing does not start";
}

TEST_F(CommandLineTest, InstallOverAnInstallationThatWillNotGo) {
  sim::Service& old = Installed(kProgram, plat::kServiceRunning);
  old.acceptsStop = false;
  old.markedForDeletion = true;
  // The entry that exists afterwards is the old one.
  EXPECT_EQ(Run({L"-install"}), L"Failed to delete the old Service installed" + kStatusError);
  // Remove's stop attempts, no wait for the entry to go, then the 2048 ms.
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0, 5121, 0, 0, 2048, 0, 0, 2048}));
}

TEST_F(CommandLineTest, InstallReplacesAnOldInstallation) {
  Installed(L"C:\\old\\velsvc.exe", plat::kServiceStopped);
  EXPECT_EQ(Run({L"-install"}), kDeleted +
                                    L"Service installed now verifying the installation...\r\n"
                                    L"Service sucessfully installed...\n");
  EXPECT_EQ(machine().FindService(kServiceName)->binaryPath, kProgram);
  // The old entry went at once: no sleep before the install.
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0, 2048}));
}

TEST_F(CommandLineTest, InstallOverARunningServiceWaitsForTheOldEntryToGo) {
  // The stop is accepted; the service reports stop-pending and stops two
  // sleeps later, and only then does its entry go.
  sim::Service& old = Installed(L"C:\\old\\velsvc.exe", plat::kServiceRunning);
  old.stateAfterStop = plat::kServiceStopPending;
  old.sleepsUntilStopped = 2;
  machine().onSleep = &CountDownStops;
  EXPECT_EQ(Run({L"-install"}), kDeleted +
                                    L"Service installed now verifying the installation...\r\n"
                                    L"Service sucessfully installed...\n");
  EXPECT_FALSE(old.exists);
  const sim::Service* service = machine().FindService(kServiceName);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->binaryPath, kProgram);
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0, 201, 201, 2048}));
}

TEST_F(CommandLineTest, StartByARelativeNameReinstallsARunningService) {
  sim::Service& old = Installed(kProgram, plat::kServiceRunning);
  old.stateAfterStop = plat::kServiceStopPending;
  old.sleepsUntilStopped = 1;
  machine().onSleep = &CountDownStops;
  EXPECT_EQ(Run({L"-start"}, L"velsvc"),
            kDeleted +
                L"Service installed now verifying the installation...\r\n"
                L"Service sucessfully installed...\n"
                L"Service sucessfully installed and running...\n");
  const sim::Service* service = machine().FindService(kServiceName);
  ASSERT_NE(service, nullptr);
  EXPECT_NE(service, &old);
  EXPECT_EQ(service->binaryPath, kProgram);
  EXPECT_EQ(service->status.currentState, plat::kServiceRunning);
}

TEST_F(CommandLineTest, InstallWhileAnotherProgramHoldsTheOldServiceFails) {
  sim::Service& old = Installed(L"C:\\old\\velsvc.exe", plat::kServiceStopped);
  old.outsideHandles = 1;
  EXPECT_EQ(Run({L"-install"}), kDeleted + kStatusError);
  // Remove's stop control, 25 waits of 201 ms for the entry to go, the 2048 ms.
  std::vector<uint64_t> sleeps{0, 0};
  sleeps.insert(sleeps.end(), 25, 201);
  sleeps.push_back(2048);
  EXPECT_EQ(Sleeps(), sleeps);
  EXPECT_EQ(machine().services.size(), 1u) << "nothing was created";

  // The entry goes when the other program closes its handle.
  old.outsideHandles = 0;
  EXPECT_FALSE(ServiceControl::Exists(kServiceName));
}

TEST_F(CommandLineTest, InstallFromAPathLongerThanTheBufferFails) {
  machine().programPath = L"C:\\" + std::wstring(300, L'x') + L"\\velsvc.exe";
  EXPECT_EQ(Run({L"-install"}), kStatusError);
  EXPECT_TRUE(machine().services.empty());
}

TEST_F(CommandLineTest, RemoveARunningService) {
  Installed(kProgram, plat::kServiceRunning);
  EXPECT_EQ(Run({L"-remove"}),
            L"Service is running...\nStopping the service...\n"
            L"Sucessfully uninstalled the Service...\n");
  EXPECT_EQ(machine().FindService(kServiceName), nullptr);

  sim::Service& stubborn = Installed(kProgram, plat::kServiceRunning);
  stubborn.acceptsStop = false;
  EXPECT_EQ(Run({L"-remove"}),
            L"Service is running...\nStopping the service...\n"
            L"Failed to remove the service.....\n");
}

TEST_F(CommandLineTest, StopWhenNotInstalled) {
  EXPECT_EQ(Run({L"-stop"}), L"Service is not installed....\n");
  EXPECT_EQ(Sleeps(), std::vector<uint64_t>{1024});
}

TEST_F(CommandLineTest, StopARunningService) {
  Installed(kProgram, plat::kServiceRunning);
  EXPECT_EQ(Run({L"-stop"}), L"Service Stopped successfully.\n");
  // Stop, 1024 ms, a stop control, and another stop attempt.
  EXPECT_EQ(Sleeps(), (std::vector<uint64_t>{0, 0, 2048, 1024, 0, 0, 0, 0}));

  sim::Service& stubborn = *machine().FindService(kServiceName);
  stubborn.status.currentState = plat::kServiceRunning;
  stubborn.acceptsStop = false;
  EXPECT_EQ(Run({L"-stop"}), L"Failure to stop the Service.\n");
}

TEST_F(CommandLineTest, StartFromTheInstalledPathDoesNotReinstall) {
  Installed(kProgram, plat::kServiceRunning);
  EXPECT_EQ(Run({L"-start"}), L"Service sucessfully installed and running...\n");
  EXPECT_FALSE(machine().FindService(kServiceName)->markedForDeletion);

  // Compared without regard to case, and without the quotes of a path with a blank.
  machine().FindService(kServiceName)->binaryPath = L"\"C:\\Program Files\\velsvc.exe\"";
  EXPECT_EQ(Run({L"-start"}, L"c:\\program files\\VELSVC.EXE"),
            L"Service sucessfully installed and running...\n");
}

TEST_F(CommandLineTest, StartFromAnotherPathReinstallsFirst) {
  Installed(kProgram, plat::kServiceStopped);
  EXPECT_EQ(Run({L"-start"}, L"velsvc"),
            L"Deleted the old installed Service.\nNow installing the new Service again...\n"
            L"Please wait...\n"
            L"Service installed now verifying the installation...\r\n"
            L"Service sucessfully installed...\n"
            L"Service sucessfully installed and running...\n");
  EXPECT_EQ(machine().FindService(kServiceName)->status.currentState, plat::kServiceRunning);
}

TEST_F(CommandLineTest, StartThatFails) {
  EXPECT_EQ(Run({L"-start"}).rfind(L"Service installed now verifying the installation...\r\n", 0),
            0u);
  machine().FindService(kServiceName)->status.currentState = plat::kServiceStopped;
  machine().FindService(kServiceName)->startFails = true;
  EXPECT_EQ(Run({L"-start"}),
            L"Error in getting Service status.\nService may not be installed properly...\n");
}

TEST_F(CommandLineTest, SwitchesRunInOrder) {
  Installed(kProgram, plat::kServiceRunning);
  EXPECT_EQ(Run({L"-stop", L"ignored", L"-start"}),
            L"Service Stopped successfully.\n"
            L"Service sucessfully installed and running...\n");
}

}  // namespace
