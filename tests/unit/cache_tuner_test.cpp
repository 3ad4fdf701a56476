#include "tests/unit/tuner_fixture.h"

namespace {

using CacheTunerConstructionTest = TunerTest;

TEST_F(CacheTunerConstructionTest, TargetsOfA512MBMachine) {
  Build();
  EXPECT_TRUE(state().enabled);
  EXPECT_EQ(state().autoTargetKB, 387904u);
  EXPECT_EQ(state().target18KB, 94336u);
  EXPECT_EQ(state().target27KB, 141504u);
  EXPECT_EQ(state().target45KB, 235840u);
  EXPECT_EQ(state().target81KB, 424576u);
}

TEST_F(CacheTunerConstructionTest, AutoTargetFollowsMemorySize) {
  struct Case {
    uint64_t totalMB;
    uint32_t autoTargetKB;
  };
  const Case cases[] = {{64, 10432},   {65, 17920},   {255, 164480},
                        {256, 188672}, {511, 376704}, {512, 387904}};
  for (const Case& c : cases) {
    sim::Reset();
    SetMemory(c.totalMB * kMB, c.totalMB * kMB / 2, 50);
    Build();
    EXPECT_EQ(state().autoTargetKB, c.autoTargetKB) << c.totalMB << " MB";
  }
}

TEST_F(CacheTunerConstructionTest, FirstLimitsAreQuarterAndHalfOfAvailable) {
  Build();
  // The settings were read again for the copies: nothing new is written.
  EXPECT_EQ(CacheSetsKB(), (CacheSets{{65536, 131072}}));
  EXPECT_EQ(RegSetNames().size(), 8u);
}

TEST_F(CacheTunerConstructionTest, UnqueryableCacheIsNeverTuned) {
  machine().fileCache.queryStatus = 0xC0000001u;
  Build();
  EXPECT_FALSE(state().enabled);
  EXPECT_EQ(CacheSetsKB().size(), 1u) << "the first limits are still tried";
  machine().fileCache.queryStatus = 0;
  ClearEvents();
  Ticks(3);
  EXPECT_TRUE(machine().events.empty());
}

TEST_F(CacheTunerConstructionTest, SnapshotUsesExtendedCallFromVersionFive) {
  Build();
  EXPECT_TRUE(state().useMemoryStatusEx);
  EXPECT_EQ(machine().plainStatusCalls, 1u) << "only the settings store's reading";

  for (uint32_t version : {4u, 0u}) {
    sim::Reset();
    SetMemory(512 * kMB, 256 * kMB, 50);
    machine().osMajorVersion = version;
    Build();
    EXPECT_FALSE(state().useMemoryStatusEx);
    EXPECT_EQ(machine().extendedStatusCalls, 0u);
    EXPECT_EQ(state().snapshot.totalPhysKB, 524288u);
  }

  sim::Reset();
  SetMemory(512 * kMB, 256 * kMB, 50);
  machine().hasMemoryStatusEx = false;
  Build();
  EXPECT_FALSE(state().useMemoryStatusEx);
}

TEST_F(CacheTunerConstructionTest, FaultingExtendedCallFallsBackForGood) {
  machine().memoryStatusExFaults = true;
  Build();
  EXPECT_FALSE(state().useMemoryStatusEx);
  EXPECT_EQ(machine().extendedStatusCalls, 1u);
  EXPECT_EQ(state().snapshot.totalPhysKB, 524288u) << "the snapshot is completed";
  EXPECT_EQ(state().autoTargetKB, 387904u);
}

TEST_F(CacheTunerConstructionTest, SnapshotFigures) {
  // 1,048,575 KB is 1023 MB, whichever call reads it.
  SetMemory(1048575 * 1024, 0, 50);
  Build();
  EXPECT_EQ(state().snapshot.totalPhysMB, 1023u);

  // More than 4 GB: KB and MB stay right.
  SetMemory(16 * 1024 * kMB, 6 * 1024 * kMB, 40, 3 * 1024 * kMB);
  CacheTunerTest::TakeSnapshot(*tuner);
  EXPECT_EQ(state().snapshot.totalPhysKB, 16777216u);
  EXPECT_EQ(state().snapshot.totalPhysMB, 16384u);
  EXPECT_EQ(state().snapshot.availPhysKB, 6291456u);
  EXPECT_EQ(state().snapshot.availPageFileKB, 3145728u);
  EXPECT_EQ(state().snapshot.memoryLoad, 40u);

  // From 4 TB on the KB figure wraps; MB is still taken from the bytes.
  SetMemory((uint64_t{4} << 40) + 100 * kMB, 0, 20);
  CacheTunerTest::TakeSnapshot(*tuner);
  EXPECT_EQ(state().snapshot.totalPhysKB, 102400u);
  EXPECT_EQ(state().snapshot.totalPhysMB, 4194404u);
}

TEST_F(CacheTunerConstructionTest, LoadAbove100IsReplacedByShareInUse) {
  Build();
  struct Case {
    uint64_t totalKB, availKB;
    uint32_t reported, expected;
  };
  const Case cases[] = {
      {1048576, 262144, 100, 100},  // 100 itself stands
      {1048576, 262144, 120, 75},   // three quarters in use
      {1000, 290, 4294967295u, 71},
      {1000, 2000, 101, 0},  // more available than there is
      {0, 0, 150, 95},       // no total to share
  };
  for (const Case& c : cases) {
    SetMemory(c.totalKB * 1024, c.availKB * 1024, c.reported);
    CacheTunerTest::TakeSnapshot(*tuner);
    EXPECT_EQ(state().snapshot.memoryLoad, c.expected) << c.reported;
  }
}

TEST_F(CacheTunerConstructionTest, ReloadReadsSettingsButKeepsTargets) {
  Build();
  PutDword(L"Settings", 1);
  PutDword(L"MaxCacheSize", 1000);
  PutDword(L"BasedOnRam", 900);
  PutDword(L"RamAvailable", 33);
  PutDword(L"MemoryZipperPlus", 1);
  SetMemory(2048 * kMB, 1024 * kMB, 10);
  tuner->ReloadSettings();
  EXPECT_EQ(state().Settings, 1u);
  EXPECT_EQ(state().MaxCacheSize, 1000u);
  EXPECT_EQ(state().BasedOnRam, 72u);
  EXPECT_EQ(state().RamAvailable, 33u);
  EXPECT_EQ(state().MemoryZipperPlus, 1u);
  EXPECT_EQ(state().autoTargetKB, 387904u);
  EXPECT_EQ(state().target81KB, 424576u);
  EXPECT_TRUE(state().enabled);
}

}  // namespace
