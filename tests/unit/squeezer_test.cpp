#include "common/squeezer.h"

#include "tests/unit/sim_fixture.h"

namespace {

class SqueezerTest : public SimTest {
 protected:
  // Commit enough for the largest squeeze of these tests.
  void SetUp() override {
    SimTest::SetUp();
    SetMemory(8192 * kMB, 4096 * kMB, 50, 8192 * kMB);
  }
};

std::vector<uint64_t> Writes(const std::vector<sim::Event>& releases) {
  std::vector<uint64_t> writes;
  for (const sim::Event& e : releases) {
    writes.push_back(e.writes);
  }
  return writes;
}

TEST_F(SqueezerTest, OneMegabyteInEightBlocks) {
  CSqueezeRam service(kServiceTouchStride);
  service.SqueezeRam(1);
  const auto commits = Events(sim::EventKind::Commit);
  ASSERT_EQ(commits.size(), 8u);
  for (const sim::Event& commit : commits) {
    EXPECT_EQ(commit.bytes, 131072u);
    EXPECT_TRUE(commit.ok);
  }
  // The service's stride: offsets 0 to 126909, none in the last page.
  EXPECT_EQ(Writes(Events(sim::EventKind::Release)), std::vector<uint64_t>(8, 60));

  ClearEvents();
  CSqueezeRam tray(kTrayTouchStride);
  tray.SqueezeRam(1);
  // The tray's stride: offsets 0 to 126976, every page.
  EXPECT_EQ(Writes(Events(sim::EventKind::Release)), std::vector<uint64_t>(8, 63));
  EXPECT_EQ(machine().MutexHolders(kSqueezeMutexName), 0u);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(SqueezerTest, AmountsAreNotCutTo4GB) {
  CSqueezeRam squeezer(kServiceTouchStride);
  squeezer.SqueezeRam(4097);
  EXPECT_EQ(SqueezesMB(), std::vector<uint64_t>{4097});
  EXPECT_EQ(Events(sim::EventKind::Commit)[0].bytes, 4097u * 131072u);

  ClearEvents();
  squeezer.SqueezeRam(512);
  EXPECT_EQ(Events(sim::EventKind::Commit)[0].bytes, 64 * kMB);
  EXPECT_EQ(Events(sim::EventKind::Release).size(), 8u);
}

TEST_F(SqueezerTest, ZeroCommitsNothing) {
  CSqueezeRam squeezer(kServiceTouchStride);
  squeezer.SqueezeRam(0);
  const auto commits = Events(sim::EventKind::Commit);
  ASSERT_EQ(commits.size(), 8u);
  for (const sim::Event& commit : commits) {
    EXPECT_EQ(commit.bytes, 0u);
    EXPECT_FALSE(commit.ok);
  }
  EXPECT_TRUE(Events(sim::EventKind::Release).empty());
}

TEST_F(SqueezerTest, DeclinedWhileAnotherHolderExists) {
  machine().HoldMutex(kSqueezeMutexName, true);
  CSqueezeRam squeezer(kServiceTouchStride);
  squeezer.SqueezeRam(64);
  EXPECT_TRUE(Events(sim::EventKind::Commit).empty());
  EXPECT_EQ(squeezer.pendingAmountMB(), 0u);
  EXPECT_EQ(machine().MutexHolders(kSqueezeMutexName), 1u) << "the probe was closed";
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(SqueezerTest, FailedBlockIsSkipped) {
  machine().failingCommits = {5};
  CSqueezeRam squeezer(kServiceTouchStride);
  squeezer.SqueezeRam(8);
  EXPECT_EQ(Events(sim::EventKind::Commit).size(), 8u);
  EXPECT_FALSE(Events(sim::EventKind::Commit)[4].ok);
  EXPECT_EQ(Events(sim::EventKind::Release).size(), 7u);
}

TEST_F(SqueezerTest, BlockBeyondTheCommitAvailableFails) {
  // Room for four blocks of 1 MB besides the blocks still held.
  SetMemory(8192 * kMB, 4096 * kMB, 50, 4 * kMB + 1);
  CSqueezeRam squeezer(kServiceTouchStride);
  squeezer.SqueezeRam(8);
  std::vector<bool> ok;
  for (const sim::Event& commit : Events(sim::EventKind::Commit)) {
    ok.push_back(commit.ok);
  }
  EXPECT_EQ(ok, (std::vector<bool>{true, true, true, true, false, false, false, false}));
  EXPECT_EQ(Events(sim::EventKind::Release).size(), 4u);

  // Released blocks no longer count.
  ClearEvents();
  squeezer.SqueezeRam(4);
  for (const sim::Event& commit : Events(sim::EventKind::Commit)) {
    EXPECT_TRUE(commit.ok);
  }
}

TEST_F(SqueezerTest, ThreadThatCannotStartSqueezesNothing) {
  machine().threadsStart = false;
  CSqueezeRam squeezer(kTrayTouchStride);
  squeezer.SqueezeRam(64);
  EXPECT_TRUE(Events(sim::EventKind::Commit).empty());
  EXPECT_EQ(machine().MutexHolders(kSqueezeMutexName), 0u);
}

}  // namespace
