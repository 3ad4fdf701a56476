// What velmon sees from a standard user's session while velsvc runs in
// session 0 as LocalSystem: the two programs meet only through the global
// namespace, and the user's token cannot change the file cache.
#include <string>

#include "common/shared_names.h"
#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/handles.h"
#include "service/command_line.h"
#include "service/service_runtime.h"
#include "tests/unit/tuner_fixture.h"
#include "tray/memory_actions.h"
#include "tray/service_presence.h"

namespace {

constexpr uint32_t kStatusPrivilegeNotHeld = 0xC0000061u;

class StandardUserTest : public TunerTest {
 protected:
  // From here on the code runs as a standard user in session 1.
  static void BecomeUser() {
    machine().session = 1;
    machine().standardUser = true;
  }
  static void BecomeService() {
    machine().session = 0;
    machine().standardUser = false;
  }
};

// A user's probe of a mutex that the service made: found only through the
// global namespace, and then refused (which still tells that it exists).
TEST_F(StandardUserTest, ProbesFindTheServicesMutexesOnlyByTheirGlobalNames) {
  struct Case {
    std::string name;
    bool seen;
    uint32_t error;
  };
  // The name without its "Global\\" prefix.
  const std::string plain = kServicePresenceMutexName + 7;
  const Case cases[] = {
      {plain, false, 0},
      {"Local\\" + plain, false, 0},
      {kServicePresenceMutexName, true, plat::kErrorAccessDenied},
      {"global\\" + plain, true, plat::kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    sim::Reset();
    BecomeService();
    // In session 0 a plain name is a global one.
    const plat::UniqueObject held(plat::CreateNamedMutexA(true, plain.c_str()));
    BecomeUser();
    const plat::UniqueObject probe(plat::CreateNamedMutexA(true, c.name.c_str()));
    EXPECT_EQ(plat::LastError(), c.error) << c.name;
    EXPECT_EQ(plat::LastError() != 0, c.seen) << c.name;
    EXPECT_EQ(probe.valid(), !c.seen) << c.name << ": a refused open gives no handle";
  }
}

TEST_F(StandardUserTest, TheTraySeesTheRunningServiceFromItsSession) {
  BecomeService();
  Build();
  serviceRuntime().tuner = tuner.get();
  machine().startedByServiceManager = true;
  static bool seen;
  seen = false;
  // While the service loops, velmon probes from the user's session.
  machine().onSleep = [](uint32_t ms) {
    if (ms != 201) {
      return;
    }
    BecomeUser();
    seen = ServicePresent();
    BecomeService();
    machine().controlHandler(plat::kServiceControlStop);
  };
  wchar_t program[] = L"C:\\Velmora\\velsvc.exe";
  wchar_t* argv[] = {program, nullptr};
  ServiceEntry(1, argv);
  EXPECT_TRUE(seen);

  BecomeUser();
  EXPECT_FALSE(ServicePresent()) << "the service has ended";
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(StandardUserTest, AServiceSqueezeKeepsTheTraysSqueezeAway) {
  SetMemory(512 * kMB, 256 * kMB, 20, 512 * kMB);
  machine().HoldMutex(kSqueezeMutexName, true, 0);  // the service's worker
  BecomeUser();
  const SqueezeMutex iconProbe;
  EXPECT_NE(iconProbe.creationError(), 0u) << "the tray shows the busy picture";
  CSqueezeRam traySqueezer(kTrayTouchStride);
  traySqueezer.SqueezeRam(100);
  EXPECT_TRUE(Events(sim::EventKind::Commit).empty()) << "no second squeeze at once";

  // Once the service's squeeze is over, the user's own squeeze runs.
  machine().HoldMutex(kSqueezeMutexName, false, 0);
  traySqueezer.SqueezeRam(100);
  EXPECT_EQ(SqueezesMB(), (std::vector<uint64_t>{100}));
}

TEST_F(StandardUserTest, AUsersTokenCannotChangeTheFileCache) {
  BecomeUser();
  machine().fileCache.minimumPages = 300;
  machine().fileCache.maximumPages = 5000;
  SystemCacheControl userCache;
  EXPECT_EQ(userCache.privilegeFailed, 1) << "the privilege is not in the token";
  EXPECT_TRUE(userCache.initialized) << "binding does not need it";
  EXPECT_EQ(userCache.Query(), 1) << "reading does not need it either";
  EXPECT_EQ(userCache.maximumKB, 20000u);
  EXPECT_EQ(userCache.SetLimits(1024, 8192), 0);
  EXPECT_EQ(machine().openHandles, 0);

  // The tray's commands make every set, and each is refused.
  ClearEvents();
  CSqueezeRam traySqueezer(kTrayTouchStride);
  SetMemory(512 * kMB, 256 * kMB, 60, 512 * kMB);
  BoostMemoryNow(MemoryActionContext{userCache, traySqueezer, [] {}});
  EmptySystemCache(userCache);
  const auto sets = Events(sim::EventKind::CacheSet);
  ASSERT_EQ(sets.size(), 8u);
  for (const sim::Event& set : sets) {
    EXPECT_EQ(set.status, kStatusPrivilegeNotHeld);
  }
  EXPECT_EQ(machine().fileCache.minimumPages, 300u);
  EXPECT_EQ(machine().fileCache.maximumPages, 5000u);
  EXPECT_EQ(SqueezesMB().size(), 1u) << "squeezing needs no privilege";
}

TEST_F(StandardUserTest, AUserMayQueryAndSendCodesButNeitherStartNorStopTheService) {
  struct Case {
    const char* what;
    uint32_t managerAccess;
    uint32_t serviceAccess;
    bool userOpens;
  };
  const Case cases[] = {
      {"user-defined codes", plat::kScManagerConnect, plat::kServiceUserDefinedControl, true},
      {"query and interrogate", plat::kScManagerConnect | plat::kGenericRead,
       plat::kServiceQueryStatus | plat::kServiceQueryConfig | plat::kServiceInterrogate, true},
      {"generic read", plat::kGenericRead, plat::kGenericRead, true},
      {"start", plat::kScManagerConnect, plat::kServiceStart, false},
      {"stop", plat::kScManagerConnect, plat::kServiceStop | plat::kServiceQueryStatus, false},
      {"generic execute", plat::kScManagerConnect, plat::kGenericExecute, false},
      {"delete", plat::kScManagerConnect, plat::kDelete, false},
      {"all access", plat::kScManagerConnect, plat::kServiceAllAccess, false},
      {"create services", plat::kScManagerConnect | plat::kScManagerCreateService,
       plat::kServiceQueryStatus, false},
  };
  for (const Case& c : cases) {
    for (const bool user : {false, true}) {
      sim::Reset();
      InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning);
      machine().standardUser = user;
      const plat::UniqueService manager(plat::OpenServiceManager(c.managerAccess));
      const plat::UniqueService service(
          manager ? plat::OpenNamedService(manager.get(), kServiceName, c.serviceAccess) : nullptr);
      const bool opens = !user || c.userOpens;
      EXPECT_EQ(service.valid(), opens) << c.what << (user ? " as a user" : " as an administrator");
      if (!opens) {
        EXPECT_EQ(plat::LastError(), plat::kErrorAccessDenied) << c.what;
      }
    }
  }
}

TEST_F(StandardUserTest, TheTrayAsksTheRunningServiceWhenItsSetsAreRefused) {
  struct Case {
    const char* what;
    bool user;
    bool serviceRuns;
    uint32_t setStatus;
    bool asks;
  };
  const Case cases[] = {
      {"a user's token, the service runs", true, true, 0, true},
      {"a user's token, no service", true, false, 0, false},
      {"an administrator's token", false, true, 0, false},
      {"sets refused for another reason", false, true, 0xC0000022u, false},
  };
  for (const Case& c : cases) {
    for (const bool boost : {false, true}) {
      sim::Reset();
      sim::Service& service =
          InstalledService(L"C:\\Velmora\\velsvc.exe",
                           c.serviceRuns ? plat::kServiceRunning : plat::kServiceStopped);
      if (c.serviceRuns) {
        machine().HoldMutex(sim::Widen(kServicePresenceMutexName), true, 0);
      }
      machine().fileCache.setStatus = c.setStatus;
      if (c.user) {
        BecomeUser();
      }
      SystemCacheControl trayCache;
      if (boost) {
        // Band 3 empties the cache before it squeezes.
        CSqueezeRam traySqueezer(kTrayTouchStride);
        SetMemory(512 * kMB, 256 * kMB, 60, 512 * kMB);
        BoostMemoryNow(MemoryActionContext{trayCache, traySqueezer, [] {}});
      } else {
        EmptySystemCache(trayCache);
      }
      const std::string what = std::string(c.what) + (boost ? ", boost" : ", empty");
      EXPECT_EQ(Events(sim::EventKind::CacheSet).size(), 4u) << what << ": the tray tries first";
      if (c.asks) {
        EXPECT_EQ(service.userControls, (std::vector<uint32_t>{kServiceControlEmptyCache})) << what;
        // With the one right the code needs: a user may hold no more.
        EXPECT_EQ(service.opens, (std::vector<sim::Service::Open>{
                                     {plat::kScManagerConnect, plat::kServiceUserDefinedControl}}))
            << what;
      } else {
        EXPECT_TRUE(service.userControls.empty()) << what;
        EXPECT_TRUE(service.opens.empty()) << what;
      }
      EXPECT_EQ(machine().openHandles, 0) << what;
    }
  }
}

TEST_F(StandardUserTest, TheServiceEmptiesTheCacheThatTheTrayCouldNot) {
  BecomeService();
  Build();
  serviceRuntime().tuner = tuner.get();
  serviceRuntime().cache = cache.get();
  InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning);
  machine().startedByServiceManager = true;
  static int pass;
  static std::pair<uint32_t, uint32_t> tunerLimits;
  pass = 0;
  // While the service loops, the user chooses "Empty System Cache" in the tray;
  // the manager hands the code the tray sent to the service's handler.
  machine().onSleep = [](uint32_t ms) {
    if (ms != 201) {
      return;
    }
    ++pass;
    if (pass == 1) {
      ClearEvents();
      tunerLimits = {static_cast<uint32_t>(machine().fileCache.minimumPages * 4),
                     static_cast<uint32_t>(machine().fileCache.maximumPages * 4)};
      BecomeUser();
      SystemCacheControl trayCache;
      EmptySystemCache(trayCache);
      BecomeService();
      sim::Service* service = machine().FindService(kServiceName);
      for (const uint32_t code : service->userControls) {
        machine().controlHandler(code);
      }
      service->userControls.clear();
    } else if (pass == 3) {
      machine().controlHandler(plat::kServiceControlStop);
    }
  };
  wchar_t program[] = L"C:\\Velmora\\velsvc.exe";
  wchar_t* argv[] = {program, nullptr};
  ServiceEntry(1, argv);

  // The same four sets from both; the tray's are refused, the service's, with
  // its token, are not.
  const CacheSets sequence{{256, 512}, {0xFFFFFFFF, 0xFFFFFFFF}, {256, 512}, tunerLimits};
  CacheSets both = sequence;
  both.insert(both.end(), sequence.begin(), sequence.end());
  EXPECT_EQ(CacheSetsKB(), both);
  std::vector<uint32_t> statuses;
  for (const sim::Event& set : Events(sim::EventKind::CacheSet)) {
    statuses.push_back(set.status);
  }
  const uint32_t refused = kStatusPrivilegeNotHeld;
  EXPECT_EQ(statuses, (std::vector<uint32_t>{refused, refused, refused, refused, 0, 0, 0, 0}));
  EXPECT_EQ(machine().openHandles, 0);
}

}  // namespace
