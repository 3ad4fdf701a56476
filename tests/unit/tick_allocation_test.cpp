// A tick allocates nothing: every allocation of this process is counted while
// ticks run through all load bands, the maintenance, the settings re-read and
// the Event Log's entries.
#include <atomic>
#include <cstdlib>

#include "tests/support/allocation_counter.h"
#include "tests/unit/tuner_fixture.h"

namespace {

using TickAllocationTest = TunerTest;

TEST_F(TickAllocationTest, TicksAllocateNothing) {
  PutDword(L"MemoryZipperPlus", 1);
  PutDword(L"RamAvailable", 300);
  BuildPastFirstTick();           // creates the two values the boost reads
  tuner->ReportServiceStarted();  // entries are written as in the service
  machine().recording = false;
  machine().blocks.reserve(4096);

  // Readings that walk the load from 0 to 100 and back, again and again, with
  // the cache above and below its targets; queued before counting.
  constexpr int kTicks = 25000;
  for (int i = 0; i < kTicks * 8; ++i) {
    const uint32_t load =
        static_cast<uint32_t>(i / 8 % 202 <= 100 ? i / 8 % 202 : 201 - i / 8 % 202);
    machine().queued.push_back(sim::Reading{512 * kMB, (100 - load) * 5 * kMB, load, 256 * kMB});
  }
  machine().fileCache.currentSize = 300 * kMB;
  state().Settings = 0;

  const uint64_t entriesBefore = machine().Calls(sim::Call::EventReport);
  gCounting = true;
  for (int i = 0; i < kTicks; ++i) {
    if (i == kTicks / 2) {
      state().Settings = 1;  // the fixed path as well
    }
    tuner->Tick();
  }
  gCounting = false;

  EXPECT_EQ(gAllocations.load(), 0u);
  EXPECT_GT(machine().blocks.size(), 0u) << "squeezes ran while counting";
  EXPECT_EQ(state().reloadCount, (kTicks + 1) % 21002) << "the re-read ran while counting";
  EXPECT_GT(machine().Calls(sim::Call::EventReport), entriesBefore)
      << "entries were written while counting";
}

}  // namespace
