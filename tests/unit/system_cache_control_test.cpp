#include "common/system_cache_control.h"

#include "tests/unit/sim_fixture.h"

namespace {

using SystemCacheControlTest = SimTest;

TEST_F(SystemCacheControlTest, ConstructionEnablesPrivilegeAndBinds) {
  SystemCacheControl cache;
  EXPECT_TRUE(cache.initialized);
  EXPECT_EQ(cache.privilegeFailed, 0);
  EXPECT_EQ(cache.bindFailed, 0);
  EXPECT_EQ(machine().openHandles, 0) << "the token is closed again";

  // Once initialized, a later call does nothing at all: not even the token.
  machine().tokenOpens = false;
  EXPECT_EQ(cache.Initialize(), 1);
  EXPECT_EQ(cache.privilegeFailed, 0);
}

TEST_F(SystemCacheControlTest, MissingQuotaPrivilegeStillInitializes) {
  machine().quotaPrivilege = false;
  SystemCacheControl cache;
  EXPECT_EQ(cache.Initialize(), 1);
  EXPECT_EQ(cache.privilegeFailed, 1);

  sim::Reset();
  machine().tokenOpens = false;
  SystemCacheControl noToken;
  EXPECT_TRUE(noToken.initialized);
  EXPECT_EQ(noToken.privilegeFailed, 1);
}

TEST_F(SystemCacheControlTest, MissingQueryCallLeavesBothUnusable) {
  machine().bindsQuery = false;
  machine().fileCache.currentSize = 8 * kMB;
  SystemCacheControl cache;
  EXPECT_FALSE(cache.initialized);
  EXPECT_EQ(cache.bindFailed, 1);
  EXPECT_EQ(cache.Query(), 0);
  EXPECT_EQ(cache.SetLimits(128, 512), 0);
  EXPECT_EQ(cache.currentSizeKB, 0u);
  EXPECT_TRUE(CacheSetsKB().empty());

  // A later successful binding does not clear the flag.
  machine().bindsQuery = true;
  EXPECT_EQ(cache.Initialize(), 1);
  EXPECT_EQ(cache.bindFailed, 1);
  EXPECT_EQ(cache.Query(), 1);
}

TEST_F(SystemCacheControlTest, MissingSetCallLeavesQueryWorking) {
  machine().bindsSet = false;
  machine().fileCache.currentSize = 8 * kMB;
  SystemCacheControl cache;
  EXPECT_EQ(cache.Initialize(), 0);
  EXPECT_EQ(cache.bindFailed, 1);
  EXPECT_EQ(cache.Query(), 1);
  EXPECT_EQ(cache.currentSizeKB, 8192u);
  EXPECT_EQ(cache.SetLimits(128, 512), 0);
  EXPECT_TRUE(CacheSetsKB().empty());
}

TEST_F(SystemCacheControlTest, QueryPublishesKilobytes) {
  machine().fileCache = sim::FileCache{1048575, 3 * kMB, 64, 1024, 0, 0};
  SystemCacheControl cache;
  ASSERT_EQ(cache.Query(), 1);
  EXPECT_EQ(cache.currentSizeKB, 1023u);
  EXPECT_EQ(cache.peakSizeKB, 3072u);
  EXPECT_EQ(cache.minimumKB, 256u);
  EXPECT_EQ(cache.maximumKB, 4096u);

  // A cache beyond 4 GB is still counted right.
  machine().fileCache.currentSize = 6 * 1024 * kMB;
  ASSERT_EQ(cache.Query(), 1);
  EXPECT_EQ(cache.currentSizeKB, 6291456u);
}

TEST_F(SystemCacheControlTest, FiguresBeyond32BitsArePublishedAsTheLargest) {
  constexpr uint32_t kLargest = 4294967292u;  // 0xFFFFFFFC
  constexpr uint64_t kLargestPages = kLargest / 4;
  struct Case {
    uint64_t bytes;  // current and peak size
    uint64_t pages;  // minimum and maximum
    uint32_t sizeKB;
    uint32_t limitKB;
  };
  const Case cases[] = {
      {(uint64_t{kLargest} - 1) << 10, kLargestPages - 1, kLargest - 1, kLargest - 4},  // below
      {(uint64_t{kLargest} << 10) + 1023, kLargestPages, kLargest, kLargest},           // at
      {uint64_t{kLargest + 1} << 10, kLargestPages + 1, kLargest, kLargest},            // above
      {uint64_t{0xFFFFFFFF} << 10, uint64_t{1} << 32, kLargest, kLargest},  // 16 TB of pages
      {~uint64_t{0}, ~uint64_t{0}, kLargest, kLargest},
  };
  for (const Case& c : cases) {
    sim::Reset();
    machine().fileCache = sim::FileCache{c.bytes, c.bytes, c.pages, c.pages, 0, 0};
    SystemCacheControl cache;
    ASSERT_EQ(cache.Query(), 1);
    EXPECT_EQ(cache.currentSizeKB, c.sizeKB) << c.bytes;
    EXPECT_EQ(cache.peakSizeKB, c.sizeKB) << c.bytes;
    EXPECT_EQ(cache.minimumKB, c.limitKB) << c.pages;
    EXPECT_EQ(cache.maximumKB, c.limitKB) << c.pages;
  }
}

TEST_F(SystemCacheControlTest, FailedQueryKeepsFigures) {
  machine().fileCache.currentSize = 4 * kMB;
  SystemCacheControl cache;
  ASSERT_EQ(cache.Query(), 1);
  machine().fileCache.currentSize = 9 * kMB;
  // Informational and warning codes fail like errors: only 0 is success.
  for (uint32_t status : {0x40000000u, 0x80000005u, 0xC0000001u}) {
    machine().fileCache.queryStatus = status;
    EXPECT_EQ(cache.Query(), 0);
    EXPECT_EQ(cache.currentSizeKB, 4096u);
  }
}

TEST_F(SystemCacheControlTest, SetLimitsSendsBytes) {
  SystemCacheControl cache;
  EXPECT_EQ(cache.SetLimits(128, 512), 1);
  EXPECT_EQ(cache.SetLimits(256, 512), 1);
  const auto sets = Events(sim::EventKind::CacheSet);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].minimum, 131072u);
  EXPECT_EQ(sets[0].maximum, 524288u);
  EXPECT_EQ(sets[1].minimum, 262144u);
  // The new limits are published by the query that follows.
  EXPECT_EQ(cache.minimumKB, 256u);
  EXPECT_EQ(cache.maximumKB, 512u);
}

TEST_F(SystemCacheControlTest, EmptyRequestIsAllOnes) {
  machine().fileCache.minimumPages = 10;
  machine().fileCache.maximumPages = 20;
  SystemCacheControl cache;
  EXPECT_EQ(cache.SetLimits(kEmptyRequestKB, kEmptyRequestKB), 1);
  const auto sets = Events(sim::EventKind::CacheSet);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].minimum, sim::kAllOnes);
  EXPECT_EQ(sets[0].maximum, sim::kAllOnes);
  EXPECT_EQ(cache.minimumKB, 40u) << "emptying leaves the limits as they were";
}

TEST_F(SystemCacheControlTest, LimitsAbove4GBDoNotWrap) {
  SystemCacheControl cache;
  EXPECT_EQ(cache.SetLimits(4194304, 8388608), 1);
  const auto sets = Events(sim::EventKind::CacheSet);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].minimum, 4096 * kMB);
  EXPECT_EQ(sets[0].maximum, 8192 * kMB);
  EXPECT_EQ(cache.maximumKB, 8388608u);
}

TEST_F(SystemCacheControlTest, FailedSetDoesNotQuery) {
  machine().fileCache.currentSize = 2 * kMB;
  SystemCacheControl cache;
  ASSERT_EQ(cache.Query(), 1);
  machine().fileCache.currentSize = 7 * kMB;
  machine().fileCache.setStatus = 0xC0000022u;
  EXPECT_EQ(cache.SetLimits(256, 512), 0);
  EXPECT_EQ(cache.currentSizeKB, 2048u);
  EXPECT_EQ(machine().fileCache.maximumPages, 0u);
}

TEST_F(SystemCacheControlTest, TheLastSetsStatusIsKept) {
  struct Case {
    bool standardUser;
    uint32_t setStatus;
    uint32_t kept;
  };
  const Case cases[] = {
      {false, 0, 0},
      {false, 0xC0000022u, 0xC0000022u},
      {true, 0, kStatusPrivilegeNotHeld},  // a user's token lacks the quota privilege
  };
  for (const Case& c : cases) {
    sim::Reset();
    machine().standardUser = c.standardUser;
    machine().fileCache.setStatus = c.setStatus;
    SystemCacheControl cache;
    EXPECT_EQ(cache.lastSetStatus, 0u) << "no set made yet";
    cache.SetLimits(256, 512);
    EXPECT_EQ(cache.lastSetStatus, c.kept) << c.setStatus;
  }
  // A set that succeeds after a refused one leaves its own status.
  machine().standardUser = false;
  machine().fileCache.setStatus = 0;
  SystemCacheControl cache;
  machine().standardUser = true;
  cache.SetLimits(256, 512);
  machine().standardUser = false;
  EXPECT_EQ(cache.SetLimits(256, 512), 1);
  EXPECT_EQ(cache.lastSetStatus, 0u);
}

TEST_F(SystemCacheControlTest, PublishedLimitsPassBackUnchanged) {
  machine().fileCache.minimumPages = 1234;
  machine().fileCache.maximumPages = 56789;
  SystemCacheControl cache;
  ASSERT_EQ(cache.Query(), 1);
  ASSERT_EQ(cache.SetLimits(cache.minimumKB, cache.maximumKB), 1);
  EXPECT_EQ(machine().fileCache.minimumPages, 1234u);
  EXPECT_EQ(machine().fileCache.maximumPages, 56789u);
}

}  // namespace
