#include "tests/unit/tuner_fixture.h"

namespace {

constexpr uint32_t kEmpty = 0xFFFFFFFFu;

class TickTest : public TunerTest {
 protected:
  // Sets the cache's current size and the load, keeping the rest of the reading.
  void Load(uint32_t load, uint64_t cacheKB = 50000) {
    machine().current.load = load;
    machine().fileCache.currentSize = cacheKB * 1024;
  }

  // Brings the throttled set one call short of applying, so that the next pass
  // hands its regular pair to the platform.
  void ThrottleDueNext() { state().throttleCount = 26; }
};

TEST_F(TickTest, FirstTickMaintainsThenEvery8002nd) {
  PutDword(L"AutoOptHour", 2);
  Build();
  ClearEvents();
  machine().fileCache.minimumPages = 100;
  machine().fileCache.maximumPages = 200;
  tuner->Tick();
  // Empty and restore, then a boost of (512 / 3) x 2 MB, kept to half the 512 MB
  // of commit available, and its pause.
  const CacheSets sets = CacheSetsKB();
  ASSERT_GE(sets.size(), 3u);
  EXPECT_EQ(sets[0], std::make_pair(kEmpty, kEmpty));
  EXPECT_EQ(sets[1], std::make_pair(128u, 512u));
  EXPECT_EQ(sets[2], std::make_pair(400u, 800u));
  EXPECT_EQ(SqueezesMB(), std::vector<uint64_t>{256});
  ASSERT_EQ(Events(sim::EventKind::Sleep).size(), 1u);
  EXPECT_EQ(Events(sim::EventKind::Sleep)[0].value, 8192u);

  ClearEvents();
  Ticks(8001);
  EXPECT_TRUE(Events(sim::EventKind::Sleep).empty());
  tuner->Tick();
  EXPECT_EQ(Events(sim::EventKind::Sleep).size(), 1u) << "tick 8003 maintains again";
}

TEST_F(TickTest, ReadOnlySettingsKeyIsHonouredFromTheFirstTick) {
  // With AutoOptHour 6 every fourth call boosts, so the first tick does not.
  PutDword(L"AutoOptHour", 6);
  PutDword(L"IsAutoOptHour", 1);
  SettingsKey().readOnly = true;
  Build();
  tuner->Tick();
  EXPECT_TRUE(SqueezesMB().empty()) << "the default of 2 would boost at once";
  EXPECT_TRUE(RegSetNames().empty());
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(TickTest, SettingsAreReadAgainOnTick21002) {
  BuildPastFirstTick();
  PutDword(L"BasedOnRam", 40);
  Ticks(21000);
  EXPECT_EQ(state().BasedOnRam, 72u);
  tuner->Tick();
  EXPECT_EQ(state().BasedOnRam, 40u);
  EXPECT_EQ(state().reloadCount, 0u);
}

TEST_F(TickTest, AutomaticPathWorkedFigures) {
  BuildPastFirstTick();
  Load(50);
  ThrottleDueNext();
  tuner->Tick();
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{96896, 193920}}));

  ClearEvents();
  Load(85, 50000);
  ThrottleDueNext();
  tuner->Tick();
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{5296, 15888}, {5296, 21184}, {5296, 21120}}));
}

TEST_F(TickTest, FixedPathWorkedFigures) {
  PutDword(L"Settings", 1);
  PutDword(L"MaxCacheSize", 408576);
  BuildPastFirstTick();
  Load(70, 50000);
  ThrottleDueNext();
  tuner->Tick();
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{70720, 235840}, {70656, 235776}}));

  ClearEvents();
  Load(85, 200000);
  ThrottleDueNext();
  tuner->Tick();
  // The cache at 200,000 KB also passes 72 percent of the available memory,
  // so the tail sets a fourth pair from that.
  EXPECT_EQ(CacheSetsKB(),
            (CacheSets{{5888, 11776}, {5888, 47104}, {7040, 47104}, {28288, 188672}}));
}

TEST_F(TickTest, FixedCapAbovePhysicalMemoryIs78Percent) {
  struct Case {
    uint64_t totalKB;
    uint32_t capKB;
  };
  // The constant is the single-precision 0.78, slightly below 0.78.
  for (const Case& c : {Case{524288, 408944}, Case{1048550, 817868}}) {
    sim::Reset();
    SetMemory(c.totalKB * 1024, c.totalKB * 512, 50);
    PutDword(L"Settings", 1);
    PutDword(L"MaxCacheSize", 4000000);
    BuildPastFirstTick();
    EXPECT_EQ(state().MaxCacheSize, c.capKB) << c.totalKB;
    EXPECT_EQ(RegDword(L"MaxCacheSize"), 4000000u) << "the registry keeps its value";
  }
}

TEST_F(TickTest, FixedPathBandEdges) {
  PutDword(L"Settings", 1);
  BuildPastFirstTick();
  state().throttleCount = 0;  // keep the regular pair back
  // Up to 62 nothing is set in the band.
  Load(62, 0);
  tuner->Tick();
  EXPECT_TRUE(CacheSetsKB().empty());
  Load(63, 0);
  tuner->Tick();
  EXPECT_EQ(CacheSetsKB().size(), 1u);

  ClearEvents();
  Load(90, 100000);
  tuner->Tick();
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{5888, 11776}, {5888, 47104}}));
  EXPECT_TRUE(Events(sim::EventKind::Flush).empty());

  // Above 90: (min, min), empty, flush, on every such tick.
  for (int i = 0; i < 2; ++i) {
    ClearEvents();
    Load(91, 100000);
    tuner->Tick();
    EXPECT_EQ(CacheSetsKB(), (CacheSets{{5888, 5888}, {kEmpty, kEmpty}, {5888, 47104}}));
    EXPECT_EQ(Events(sim::EventKind::Flush).size(), 1u);
  }
}

TEST_F(TickTest, AutomaticPathBands) {
  BuildPastFirstTick();
  state().throttleCount = 0;  // keep the regular pair back
  Load(26, 0);
  tuner->Tick();
  EXPECT_EQ(state().workMaxKB, 387840u) << "the whole target, rounded to 128 KB";
  Load(62, 0);
  tuner->Tick();
  EXPECT_TRUE(CacheSetsKB().empty());
  Load(63, 0);
  tuner->Tick();
  // percentOf(percentOf(387904, 81), 37) rounded to 128 KB; minimum 37 percent of it.
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{42880, 116096}}));
  ClearEvents();
  Load(90, 100000);
  tuner->Tick();
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{3536, 10608}, {3536, 14144}}));
  ClearEvents();
  Load(91, 100000);
  tuner->Tick();
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{3168, 6336}, {3168, 12672}}));
}

TEST_F(TickTest, ZipperCountsFromLoad78) {
  BuildPastFirstTick();
  for (const auto& [settingsValue, path] : {std::pair{0u, "automatic"}, std::pair{1u, "fixed"}}) {
    state().Settings = settingsValue;
    state().zipperCallCount = 0;
    Load(77, 0);
    tuner->Tick();
    EXPECT_EQ(state().zipperCallCount, 0u) << path;
    Load(78, 0);
    tuner->Tick();
    EXPECT_EQ(state().zipperCallCount, 1u) << path;
    Load(80, 0);
    tuner->Tick();
    EXPECT_EQ(state().emptyCount, 0u) << path << ": 80 is no hard shrink";
    Load(81, 0);
    tuner->Tick();
    EXPECT_EQ(state().emptyCount, 1u) << path;
    state().emptyCount = 0;
  }
}

TEST_F(TickTest, ZipperSnapshotMovesTheLoadOfTheTail) {
  PutDword(L"Settings", 1);
  PutDword(L"MemoryZipperPlus", 1);
  PutDword(L"RamAvailable", 64);
  SetMemory(512 * kMB, 10 * kMB, 85, 512 * kMB);
  machine().fileCache.currentSize = 200000 * 1024;
  BuildPastFirstTick();
  state().zipperCallCount = 21;  // the zipper is called on this pass
  state().zipperCount = 50;      // and acts
  ThrottleDueNext();
  // The path's snapshot reads 85; the zipper's own snapshot then reads 50, and
  // the tail's regular pair takes its minimum from that.
  machine().queued = {sim::Reading{512 * kMB, 10 * kMB, 512 * kMB, 85},
                      sim::Reading{512 * kMB, 10 * kMB, 512 * kMB, 50}};
  tuner->Tick();
  EXPECT_EQ(SqueezesMB(), std::vector<uint64_t>{64});
  const CacheSets sets = CacheSetsKB();
  ASSERT_GE(sets.size(), 3u);
  EXPECT_EQ(sets[2], std::make_pair(percentOf(47104, 50), 47104u));
}

TEST_F(TickTest, EmptyAndRestoreCadenceAtHighLoad) {
  BuildPastFirstTick();
  const auto emptyings = [] {
    int count = 0;
    for (const auto& set : CacheSetsKB()) {
      count += set == std::make_pair(128u, 512u) ? 1 : 0;
    }
    return count;
  };
  // Automatic path above 90: every sixth tick.
  Load(95, 100000);
  Ticks(5);
  EXPECT_EQ(emptyings(), 0);
  tuner->Tick();
  EXPECT_EQ(emptyings(), 1);
  Ticks(6);
  EXPECT_EQ(emptyings(), 2);

  // Fixed path above 80: every 22nd tick.
  ClearEvents();
  state().Settings = 1;
  state().emptyCount = 0;
  Load(85, 100000);
  Ticks(21);
  EXPECT_EQ(emptyings(), 0);
  tuner->Tick();
  EXPECT_EQ(emptyings(), 1);
}

TEST_F(TickTest, ThrottleAppliesOnSecondThenEvery27thCall) {
  Build();
  std::vector<int> applied;
  for (int call = 1; call <= 60; ++call) {
    ClearEvents();
    CacheTunerTest::ThrottledSetLimits(*tuner, 1, 2);
    if (!CacheSetsKB().empty()) {
      applied.push_back(call);
    }
  }
  EXPECT_EQ(applied, (std::vector<int>{2, 29, 56}));
}

TEST_F(TickTest, AnySettingsValueButOneIsAutomatic) {
  for (uint32_t value : {2u, 3u, 0xFFFFFFFFu}) {
    FreshMachine();
    PutDword(L"Settings", value);
    BuildPastFirstTick();
    Ticks(3);
    EXPECT_EQ(state().autoFlushCount, 4u) << value;
    EXPECT_EQ(state().fixedFlushCount, 0u) << value;
  }
}

TEST_F(TickTest, FixedPathWithZeroCapEndsAtZero) {
  PutDword(L"Settings", 1);
  PutDword(L"MaxCacheSize", 0);
  BuildPastFirstTick();
  Load(50, 10);
  tuner->Tick();
  ASSERT_FALSE(CacheSetsKB().empty());
  EXPECT_EQ(CacheSetsKB().back(), std::make_pair(0u, 0u));
}

TEST_F(TickTest, FlushesEvery172ndPass) {
  BuildPastFirstTick();
  Load(50, 0);
  Ticks(170);
  EXPECT_TRUE(Events(sim::EventKind::Flush).empty());
  tuner->Tick();
  EXPECT_EQ(Events(sim::EventKind::Flush).size(), 1u) << "the 172nd pass, counting the first";
}

}  // namespace
