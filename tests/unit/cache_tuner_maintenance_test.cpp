#include "tests/unit/tuner_fixture.h"
#include "tray/memory_actions.h"

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
  // Commit enough for every amount, so that only the band and its cap count.
  const Case cases[] = {
      {20, 10, 1000, 392},  // (512 / 9) x 7
      {40, 200, 700, 340},  // (512 / 3) x 2
      {40, 0, 300, 150},    // 340 above 300 spare: half the spare
      {60, 500, 600, 256}, {60, 0, 200, 100}, {81, 500, 400, 170},  // 81 counts with the top band
      {90, 200, 400, 170}, {100, 0, 150, 75},
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

void NoRefresh() {}

TEST_F(MaintenanceTest, EverySqueezeKeepsToHalfTheCommitAvailable) {
  enum class Caller { Boost, Zipper, TrayBoost };
  struct Case {
    Caller caller;
    uint32_t load;
    uint64_t availMB, pageFileMB;  // P is the page file in MB
    uint32_t ramAvailable;         // the zipper's threshold
    std::vector<uint64_t> decidedMB, requestedMB;
  };
  const Case cases[] = {
      {Caller::Boost, 20, 10, 10, 0, {392}, {5}},
      {Caller::Boost, 40, 200, 300, 0, {340}, {150}},
      {Caller::Boost, 40, 200, 680, 0, {340}, {340}},  // exactly half: as decided
      {Caller::Boost, 40, 200, 681, 0, {340}, {340}},
      {Caller::Boost, 60, 100, 100, 0, {100}, {50}},  // after the cap of 256 to 100
      {Caller::Boost, 90, 200, 1, 0, {170}, {0}},     // 0 is still requested
      {Caller::Zipper, 50, 60, 512, 64, {64}, {64}},
      {Caller::Zipper, 50, 60, 100, 64, {64}, {50}},
      {Caller::Zipper, 50, 60, 1, 64, {64}, {0}},
      {Caller::Zipper, 50, 100, 150, 2000, {102}, {75}},  // the threshold comes down first
      {Caller::TrayBoost, 20, 10, 10, 0, {392}, {5}},
      {Caller::TrayBoost, 40, 200, 300, 0, {340}, {150}},
      {Caller::TrayBoost, 60, 500, 500, 0, {256}, {250}},
      {Caller::TrayBoost, 90, 100, 100, 0, {170, 100}, {50, 50}},
      {Caller::TrayBoost, 90, 1000, 400, 0, {170, 256}, {170, 200}},
      {Caller::TrayBoost, 90, 1000, 1, 0, {170, 256}, {0, 0}},
  };
  for (const Case& c : cases) {
    sim::Reset();
    SetMemory(512 * kMB, c.availMB * kMB, c.load, c.pageFileMB * kMB);
    SCOPED_TRACE(testing::Message() << "caller " << static_cast<int>(c.caller) << ", load "
                                    << c.load << ", P " << c.pageFileMB);
    uint64_t statusCalls = 0;
    const auto countStatusCalls = [] {
      return machine().plainStatusCalls + machine().extendedStatusCalls;
    };
    if (c.caller == Caller::TrayBoost) {
      SystemCacheControl trayCache;
      CSqueezeRam traySqueezer(kTrayTouchStride);
      ClearEvents();
      statusCalls = countStatusCalls();
      BoostMemoryNow(MemoryActionContext{trayCache, traySqueezer, &NoRefresh});
    } else {
      PutDword(L"MemoryZipperPlus", 1);
      PutDword(L"RamAvailable", c.ramAvailable);
      Build();
      ClearEvents();
      statusCalls = countStatusCalls();
      if (c.caller == Caller::Boost) {
        CacheTunerTest::Boost(*tuner);
      } else {
        state().zipperCount = 50;
        CacheTunerTest::MemoryZipper(*tuner);
        EXPECT_EQ(state().RamAvailable, c.decidedMB[0]) << "the threshold is not limited";
        EXPECT_EQ(RegDword(L"RamAvailable"), c.decidedMB[0]);
      }
    }
    // One reading decides and limits; lowering the threshold reads the total again.
    EXPECT_EQ(countStatusCalls() - statusCalls, c.ramAvailable > 512 ? 2u : 1u);
    EXPECT_EQ(SqueezesMB(), c.requestedMB);
    for (const sim::Event& commit : Events(sim::EventKind::Commit)) {
      EXPECT_EQ(commit.ok, commit.bytes != 0) << "every block fits in the commit";
    }
  }
}

}  // namespace
