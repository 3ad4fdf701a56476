// What the tray's icon shows on a tick, and its tip.
#include "tray/tray_icon_choice.h"

#include <string>

#include "common/shared_names.h"
#include "tests/unit/sim_fixture.h"

namespace {

using TrayIconChoiceTest = SimTest;

uint64_t gCreatesAtReading = 0;
uint32_t gHoldersAtReading = 0;

// The probe is made and closed before memory is read: a squeeze worker that
// starts while the icon is read and drawn finds no holder.
TEST_F(TrayIconChoiceTest, ProbeIsClosedBeforeMemoryIsRead) {
  SetMemory(32768 * kMB, 23451 * kMB, 62);
  gCreatesAtReading = 0;
  gHoldersAtReading = 1;
  machine().onMemoryStatus = [] {
    gCreatesAtReading = machine().Calls(sim::Call::MutexCreate);
    gHoldersAtReading = machine().MutexHolders(kSqueezeMutexName);
  };
  const TrayIconChoice choice = ChooseTrayIcon();
  EXPECT_EQ(gCreatesAtReading, 1u) << "the squeeze mutex was created first";
  EXPECT_EQ(gHoldersAtReading, 0u) << "and closed before memory was read";
  EXPECT_EQ(machine().plainStatusCalls, 1u);
  EXPECT_FALSE(choice.busy);
  EXPECT_EQ(choice.availableMB, 23451u);
  EXPECT_EQ(choice.memoryLoad, 62u);
}

// Any holder means busy, the service's mutex refused to a standard user too;
// no memory is read and the probe leaves nothing open.
TEST_F(TrayIconChoiceTest, AnyHolderMeansBusyWithoutAReading) {
  struct Case {
    uint32_t holderSession;
    bool standardUser;
  };
  for (const Case c : {Case{1, false}, Case{0, false}, Case{0, true}}) {
    sim::Reset();
    machine().standardUser = c.standardUser;
    machine().HoldMutex(kSqueezeMutexName, true, c.holderSession);
    EXPECT_TRUE(ChooseTrayIcon().busy) << c.holderSession << c.standardUser;
    EXPECT_EQ(machine().plainStatusCalls, 0u);
    EXPECT_EQ(machine().openHandles, 0);
  }
}

TEST(TrayTipTest, ExactFigureWithThousandsAndTheLoad) {
  struct Case {
    uint32_t availableMB, load;
    const wchar_t* tip;
  };
  const Case cases[] = {
      {0, 0, L"Velmora: 0 MB available (0% in use)"},
      {1000, 5, L"Velmora: 1,000 MB available (5% in use)"},
      {23451, 62, L"Velmora: 23,451 MB available (62% in use)"},
      {4294967295u, 100, L"Velmora: 4,294,967,295 MB available (100% in use)"},
  };
  for (const Case& c : cases) {
    wchar_t tip[kTipCapacity];
    FormatTip(c.availableMB, c.load, tip);
    EXPECT_EQ(std::wstring(tip), c.tip) << c.availableMB;
  }
}

}  // namespace
