// What the tray's icon shows on a tick, and its tip.
#include "tray/tray_icon_choice.h"

#include <string>

#include "tests/unit/sim_fixture.h"

namespace {

TEST(TrayTipTest, ExactFigureWithThousandsAndTheLoad) {
  struct Case {
    uint32_t availableMB, load;
    const wchar_t* tip;
  };
  const Case cases[] = {
      {0, 0, L"Velmora: 0 MB available (0% in use)"},
      {999, 97, L"Velmora: 999 MB available (97% in use)"},
      {1000, 5, L"Velmora: 1,000 MB available (5% in use)"},
      {23451, 62, L"Velmora: 23,451 MB available (62% in use)"},
      {1048576, 1, L"Velmora: 1,048,576 MB available (1% in use)"},
      {4294967295u, 100, L"Velmora: 4,294,967,295 MB available (100% in use)"},
  };
  for (const Case& c : cases) {
    wchar_t tip[kTipCapacity];
    FormatTip(c.availableMB, c.load, tip);
    EXPECT_EQ(std::wstring(tip), c.tip) << c.availableMB;
  }
}

}  // namespace
