#include "tray/memory_actions.h"

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "tests/unit/sim_fixture.h"

namespace {

int gRefreshes = 0;
std::vector<std::string>* gOrder = nullptr;

void CountRefresh() {
  ++gRefreshes;
  if (gOrder != nullptr) {
    gOrder->push_back("refresh");
  }
}

class MemoryActionsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    gRefreshes = 0;
    gOrder = nullptr;
  }

  void Boost(uint64_t totalMB, uint32_t load, uint64_t availMB, uint64_t pageFileMB) {
    SetMemory(totalMB * kMB, availMB * kMB, load, pageFileMB * kMB);
    BoostMemoryNow(MemoryActionContext{cache, squeezer, &CountRefresh});
  }

  static std::vector<uint32_t> SleepsMs() {
    std::vector<uint32_t> result;
    for (const sim::Event& e : Events(sim::EventKind::Sleep)) {
      result.push_back(static_cast<uint32_t>(e.value));
    }
    return result;
  }

  SystemCacheControl cache;
  CSqueezeRam squeezer{kTrayTouchStride};
};

TEST_F(MemoryActionsTest, EmptySystemCacheNarrowsEmptiesAndRestores) {
  machine().fileCache.minimumPages = 300;
  machine().fileCache.maximumPages = 5000;
  EmptySystemCache(cache);
  EXPECT_EQ(CacheSetsKB(),
            (CacheSets{{256, 512}, {0xFFFFFFFF, 0xFFFFFFFF}, {256, 512}, {1200, 20000}}));
  EXPECT_EQ(SleepsMs(), (std::vector<uint32_t>{100, 100, 100, 100}));
  EXPECT_EQ(machine().fileCache.maximumPages, 5000u);
}

TEST_F(MemoryActionsTest, FailedQueryRestoresTheLastFiguresRead) {
  machine().fileCache.queryStatus = 0xC0000001u;
  EmptySystemCache(cache);
  EXPECT_EQ(CacheSetsKB().back(), std::make_pair(0u, 0u));
}

TEST_F(MemoryActionsTest, EmptySystemCacheRestoresA16TBMaximum) {
  // Current x64 systems report a default maximum of 2^32 pages.
  machine().fileCache.minimumPages = 256;
  machine().fileCache.maximumPages = uint64_t{1} << 32;
  EmptySystemCache(cache);
  const auto sets = Events(sim::EventKind::CacheSet);
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[3].minimum, 1024u * 1024u);
  EXPECT_EQ(sets[3].maximum, uint64_t{4294967292u} << 10)
      << "the largest figure, neither 0 nor the empty request";
}

TEST_F(MemoryActionsTest, BoostBands) {
  struct Case {
    uint64_t totalMB;
    uint32_t load;
    uint64_t availMB, pageFileMB;
    std::vector<uint64_t> squeezesMB;
    bool empties;
  };
  // Commit enough for every amount, so that only the band and its cap count.
  const Case cases[] = {
      {512, 20, 10, 1000, {392}, false},  // (512 / 9) x 7
      {100, 0, 10, 200, {77}, false},
      {512, 40, 0, 300, {150}, false},  // 340 above 300 spare
      {512, 40, 0, 340, {170}, false},  // spare exactly 340: not capped, but half the commit
      {512, 60, 500, 600, {256}, true},
      {512, 81, 100, 600, {170, 256}, true},  // 81 counts with the top band
      {512, 90, 100, 600, {170, 256}, true},
  };
  for (const Case& c : cases) {
    sim::Reset();
    gRefreshes = 0;
    Boost(c.totalMB, c.load, c.availMB, c.pageFileMB);
    EXPECT_EQ(SqueezesMB(), c.squeezesMB) << "load " << c.load;
    EXPECT_EQ(gRefreshes, static_cast<int>(c.squeezesMB.size())) << "load " << c.load;
    EXPECT_EQ(CacheSetsKB().size(), c.empties ? 4u : 0u) << "load " << c.load;
  }
}

TEST_F(MemoryActionsTest, BoostRefreshesRightAfterEachRequest) {
  std::vector<std::string> order;
  gOrder = &order;
  machine().listener = [](const sim::Event& e) {
    if (e.kind == sim::EventKind::Commit && e.bytes != 0 && gOrder != nullptr &&
        (gOrder->empty() || gOrder->back() != "squeeze")) {
      gOrder->push_back("squeeze");
    }
    if (e.kind == sim::EventKind::CacheSet && gOrder != nullptr && gOrder->empty()) {
      gOrder->push_back("empty");
    }
  };
  Boost(512, 95, 1000, 1000);
  EXPECT_EQ(order, (std::vector<std::string>{"empty", "squeeze", "refresh", "squeeze", "refresh"}));
}

TEST_F(MemoryActionsTest, ImpossibleLoadDoesNothing) {
  Boost(512, 101, 100, 100);
  EXPECT_TRUE(machine().events.empty());
  EXPECT_EQ(gRefreshes, 0);
}

TEST_F(MemoryActionsTest, BusySqueezeStillRefreshes) {
  machine().HoldMutex(kSqueezeMutexName, true);
  Boost(512, 20, 100, 100);
  EXPECT_TRUE(SqueezesMB().empty());
  EXPECT_EQ(gRefreshes, 1);
}

}  // namespace
