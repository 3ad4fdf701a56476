#include "tests/unit/tuner_fixture.h"

namespace {

using MaintenanceTest = TunerTest;

std::string Flushed() {
  std::string letters;
  for (const sim::Event& e : sim::machine().events) {
    if (e.kind == sim::EventKind::Flush) {
      letters += e.volume;
    }
  }
  return letters;
}

TEST_F(MaintenanceTest, FlushesOnlyFixedVolumes) {
  machine().drives = {{'A', plat::kDriveRemovable, true}, {'D', plat::kDriveFixed, true},
                      {'E', plat::kDriveFixed, true},     {'F', plat::kDriveCdrom, true},
                      {'N', plat::kDriveRemote, true},    {'R', plat::kDriveRamdisk, true}};
  Build();
  CacheTunerTest::FlushFixedDrives(*tuner);
  EXPECT_EQ(Flushed(), "DE");
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(MaintenanceTest, DriveMaskWithGapsAndUnopenableVolumes) {
  machine().drives = {{'G', plat::kDriveFixed, true},
                      {'D', plat::kDriveFixed, true},
                      {'Z', plat::kDriveFixed, true},
                      {'K', plat::kDriveFixed, false}};
  Build();
  CacheTunerTest::FlushFixedDrives(*tuner);
  EXPECT_EQ(Flushed(), "DGZ");
}

TEST_F(MaintenanceTest, ZipperOffDoesNotCount) {
  Build();
  for (int i = 0; i < 200; ++i) {
    CacheTunerTest::MemoryZipper(*tuner);
  }
  EXPECT_EQ(state().zipperCount, 0u);
  EXPECT_TRUE(SqueezesMB().empty());
}

TEST_F(MaintenanceTest, ZipperSqueezesBelowThresholdOnEvery51stCall) {
  PutDword(L"MemoryZipperPlus", 1);
  PutDword(L"RamAvailable", 64);
  SetMemory(512 * kMB, 80 * kMB, 50, 512 * kMB);
  Build();
  for (int i = 0; i < 51; ++i) {
    CacheTunerTest::MemoryZipper(*tuner);
  }
  EXPECT_TRUE(SqueezesMB().empty()) << "80 MB free is enough";
  EXPECT_EQ(state().zipperCount, 0u);

  SetMemory(512 * kMB, 60 * kMB, 50, 512 * kMB);
  for (int i = 0; i < 50; ++i) {
    CacheTunerTest::MemoryZipper(*tuner);
  }
  EXPECT_TRUE(SqueezesMB().empty());
  CacheTunerTest::MemoryZipper(*tuner);
  EXPECT_EQ(SqueezesMB(), std::vector<uint64_t>{64});
}

TEST_F(MaintenanceTest, ZipperThresholdAbovePhysicalMemoryComesDown) {
  PutDword(L"MemoryZipperPlus", 1);
  PutDword(L"RamAvailable", 2000);
  SetMemory(512 * kMB, 100 * kMB, 50, 512 * kMB);
  Build();
  state().zipperCount = 50;
  CacheTunerTest::MemoryZipper(*tuner);
  EXPECT_EQ(state().RamAvailable, 102u);
  EXPECT_EQ(RegDword(L"RamAvailable"), 102u);
  EXPECT_EQ(SqueezesMB(), std::vector<uint64_t>{102});
}

TEST_F(MaintenanceTest, PeriodicBoostCadence) {
  struct Case {
    std::optional<uint32_t> autoOptHour;
    uint32_t isAutoOptHour;
    std::vector<int> boostingCalls;  // of the first eight
  };
  const Case cases[] = {
      {2, 1, {1, 2, 3, 4, 5, 6, 7, 8}},
      {std::nullopt, 1, {1, 2, 3, 4, 5, 6, 7, 8}},  // the default is 2
      {0, 1, {1, 2, 3, 4, 5, 6, 7, 8}},
      {1, 1, {1, 2, 3, 4, 5, 6, 7, 8}},
      {6, 1, {4, 8}},
      {30000, 1, {}},
      {2, 0, {4, 8}},
  };
  for (const Case& c : cases) {
    sim::Reset();
    SetMemory(512 * kMB, 256 * kMB, 50, 512 * kMB);
    PutDword(L"IsAutoOptHour", c.isAutoOptHour);
    if (c.autoOptHour) {
      PutDword(L"AutoOptHour", *c.autoOptHour);
    }
    Build();
    std::vector<int> boosting;
    for (int call = 1; call <= 8; ++call) {
      ClearEvents();
      CacheTunerTest::PeriodicBoost(*tuner);
      const auto sleeps = Events(sim::EventKind::Sleep);
      if (!SqueezesMB().empty()) {
        boosting.push_back(call);
        ASSERT_EQ(sleeps.size(), 1u);
        EXPECT_EQ(sleeps[0].value, 8192u);
      }
    }
    EXPECT_EQ(boosting, c.boostingCalls) << c.autoOptHour.value_or(99) << "/" << c.isAutoOptHour;
  }
}

TEST_F(MaintenanceTest, BoostAmountsByLoad) {
  struct Case {
    uint32_t load;
    uint64_t availMB, pageFileMB;
    uint64_t squeezedMB;
  };
  const Case cases[] = {
      {20, 10, 10, 392},    // (512 / 9) x 7, never capped
      {40, 200, 300, 340},  // (512 / 3) x 2
      {40, 100, 200, 150},  // 340 above 300 spare: half the spare
      {60, 500, 500, 256}, {60, 100, 100, 100}, {81, 500, 0, 170},  // 81 counts with the top band
      {90, 200, 0, 170},   {100, 100, 50, 75},
  };
  Build();
  for (const Case& c : cases) {
    ClearEvents();
    SetMemory(512 * kMB, c.availMB * kMB, c.load, c.pageFileMB * kMB);
    CacheTunerTest::Boost(*tuner);
    EXPECT_EQ(SqueezesMB(), std::vector<uint64_t>{c.squeezedMB}) << "load " << c.load;
    EXPECT_TRUE(CacheSetsKB().empty()) << "the service's boost never empties the cache";
  }
}

}  // namespace
