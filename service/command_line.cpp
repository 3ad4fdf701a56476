#include "service/command_line.h"

#include <cstdint>
#include <cwchar>
#include <initializer_list>

#include "common/quoted_path.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "service/service_control.h"
#include "service/service_runtime.h"

namespace {

constexpr wchar_t kInstalledAndRunning[] = L"Service sucessfully installed and running...\n";
constexpr uint32_t kGoneWaits = 25;
constexpr wchar_t kStatusError[] =
    L"Error in getting Service status.\nService may not be installed properly...\n";

void Print(std::initializer_list<const wchar_t*> parts) {
  for (const wchar_t* part : parts) {
    plat::PrintOut(part);
  }
}

// The usage text after its first line.
void PrintUsageRest() {
  Print({L"-remove : to remove the service.\nIf service is running it will be stopped.\n\n",
         L"-stop : to stop the service\n\n",
         L"-start : starts the service.\nIf service is not installed it will be installed.\n\n",
         L"-info : Current service status information.\n\n"});
}

// A running service, or one another program has open, is only marked for
// deletion: its entry stays until it has stopped and every handle to it is
// closed, and creating the new one fails meanwhile. Waits about 5 s at most.
void WaitUntilGone() {
  for (uint32_t sleeps = 0; ServiceControl::Exists(kServiceName) && sleeps < kGoneWaits; ++sleeps) {
    plat::SleepMs(201);
  }
}

void Install() {
  if (ServiceControl::Exists(kServiceName)) {
    const bool removed = ServiceControl::Remove(kServiceName);
    // No line break after the failure: the next message follows on its line.
    Print({removed ? L"Deleted the old installed Service.\nNow installing the new Service "
                     L"again...\nPlease wait...\n"
                   : L"Failed to delete the old Service installed"});
    if (removed) {
      WaitUntilGone();
    }
  }
  const bool installed = ServiceControl::Install(kServiceName, kServiceDisplayName);
  if (installed) {
    Print({L"Service installed now verifying the installation...\r\n"});
  }
  plat::SleepMs(2048);
  // An entry that is still there is the old one when the create failed.
  Print({installed && ServiceControl::Exists(kServiceName) ? L"Service sucessfully installed...\n"
                                                           : kStatusError});
}

void Remove() {
  if (ServiceControl::IsRunning(kServiceName)) {
    Print({L"Service is running...\nStopping the service...\n"});
    ServiceControl::Stop(kServiceName);
  }
  ServiceControl::Remove(kServiceName);
  plat::SleepMs(2048);
  Print({ServiceControl::Exists(kServiceName) ? L"Failed to remove the service.....\n"
                                              : L"Sucessfully uninstalled the Service...\n"});
}

void StartAndReport() {
  ServiceControl::StartAndWait(kServiceName);
  Print({ServiceControl::IsRunning(kServiceName) ? kInstalledAndRunning : kStatusError});
}

// Starts the installed service when it is this program as typed; otherwise
// installs this program first.
void Start(const wchar_t* argument0) {
  if (ServiceControl::Exists(kServiceName)) {
    wchar_t displayName[kConfigTextCapacity] = {};
    wchar_t storedPath[kConfigTextCapacity] = {};
    ServiceControl::QueryConfig(kServiceName, displayName, storedPath);
    wchar_t path[kConfigTextCapacity] = {};
    UnquotedPath(storedPath, path, kConfigTextCapacity);
    if (plat::CompareNoCase(path, argument0) == 0) {
      StartAndReport();
      return;
    }
  }
  Install();
  StartAndReport();
}

void Stop() {
  ServiceControl::Stop(kServiceName);
  plat::SleepMs(1024);
  if (!ServiceControl::Exists(kServiceName)) {
    Print({L"Service is not installed....\n"});
    return;
  }
  ServiceControl::SendControl(kServiceName, plat::kServiceControlStop);
  ServiceControl::Stop(kServiceName);
  Print({ServiceControl::IsRunning(kServiceName) ? L"Failure to stop the Service.\n"
                                                 : L"Service Stopped successfully.\n"});
}

void Info() {
  Print({L"\nVelmora Service 1.0: keeps the system file cache in bounds and frees memory.\n",
         L"Copyright (c) 2026 Quorlex.\n"});
  if (ServiceControl::Exists(kServiceName)) {
    wchar_t displayName[kConfigTextCapacity] = {};
    wchar_t path[kConfigTextCapacity] = {};
    ServiceControl::QueryConfig(kServiceName, displayName, path);
    Print({kServiceName, L" is installed.\n"});
    Print({L"Service display name is ", displayName, L"\n"});
    Print({L"Service Executable Path is ", path, L"\n"});
    Print({kServiceName, ServiceControl::IsRunning(kServiceName)
                             ? L" is running.\n"
                             : L" is not running currently.\n"});
  } else {
    Print({kServiceName, L" is not Installed.\n"});
  }
  Print({L"\n-install : to install the service.\n\n"});
  PrintUsageRest();
}

void Unknown() {
  Print({L"\nUnknown arguments. Supported are..\n", L"-install : to install the service.\n\n"});
  PrintUsageRest();
}

}  // namespace

void RunSwitch(const wchar_t* name, const wchar_t* argument0) {
  if (plat::CompareNoCase(name, L"install") == 0) {
    Install();
  } else if (plat::CompareNoCase(name, L"remove") == 0) {
    Remove();
  } else if (plat::CompareNoCase(name, L"start") == 0) {
    Start(argument0);
  } else if (plat::CompareNoCase(name, L"info") == 0) {
    Info();
  } else if (plat::CompareNoCase(name, L"stop") == 0) {
    Stop();
  } else {
    Unknown();
  }
}

int ServiceEntry(int argc, wchar_t** argv) {
  // Held for the whole run: its existence tells the tray that velsvc runs.
  const plat::UniqueObject presence(plat::CreateNamedMutexA(true, kServicePresenceMutexName));
  const bool runDispatcher = argc < 2;
  for (int i = 1; i < argc; ++i) {
    const wchar_t* argument = argv[i];
    if (argument[0] == L'-' || argument[0] == L'/') {
      RunSwitch(argument + 1, argv[0]);
    }
  }
  if (runDispatcher) {
    plat::RunServiceDispatcher(kServiceName, &ServiceMain);
  }
  return 0;
}
