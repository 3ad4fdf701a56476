// The handle owner and the structured-exception guard on the simulated machine.
#include "platform/handles.h"

#include "tests/unit/sim_fixture.h"

namespace {

using HandlesTest = SimTest;

constexpr wchar_t kName[] = L"Global\\handles test";

TEST_F(HandlesTest, PutClosesWhatWasHeldAndTheCloseKeepsTheLastError) {
  plat::UniqueObject mutex(plat::CreateNamedMutexW(true, kName));
  *mutex.put() = plat::CreateNamedMutexW(true, L"another");
  EXPECT_EQ(machine().MutexHolders(kName), 0u);
  EXPECT_EQ(machine().openHandles, 1);

  plat::SetLastError(1060);
  mutex.reset();
  EXPECT_EQ(plat::LastError(), 1060u);
  EXPECT_EQ(machine().openHandles, 0);
}

// A fault abandons the guarded body without destroying what it holds: an owner
// declared outside the body closes its handle, one inside it leaks.
TEST_F(HandlesTest, AFaultInAGuardedBodyLeavesOnlyOutsideOwnersToClose) {
  machine().RaiseOn(sim::Call::ServiceOpen, 1);
  machine().RaiseOn(sim::Call::ServiceOpen, 2);
  {
    plat::UniqueObject outside;
    EXPECT_FALSE(plat::Guarded([&outside] {
      *outside.put() = plat::CreateNamedMutexW(true, kName);
      plat::UniqueService manager(plat::OpenServiceManager(0));
      plat::OpenNamedService(manager.get(), L"x", 0);  // faults
    }));
  }
  EXPECT_EQ(machine().MutexHolders(kName), 0u);
  EXPECT_EQ(machine().openHandles, 1) << "the manager handle inside the body leaked";

  // Outside any guard the same call just fails.
  machine().openHandles = 0;
  EXPECT_EQ(plat::OpenNamedService(nullptr, L"x", 0), nullptr);
  EXPECT_EQ(machine().faultsRaised, 1u);
}

TEST_F(HandlesTest, AnExceptionLeavesTheGuard) {
  EXPECT_THROW(plat::Guarded([] { throw 7; }), int);
  machine().RaiseOn(sim::Call::ServiceOpen, 1);
  EXPECT_EQ(plat::OpenNamedService(nullptr, L"x", 0), nullptr) << "no guard is left active";
}

}  // namespace
