// The paths the tray program writes and starts from, and the quoting of
// program paths shared with the service.
#include <string>
#include <utility>
#include <vector>

#include "common/quoted_path.h"
#include "tests/unit/sim_fixture.h"
#include "tray/autostart.h"
#include "tray/program_folder.h"

namespace {

using TrayPathsTest = SimTest;

std::wstring Quoted(const wchar_t* path, uint32_t capacity = 262) {
  std::vector<wchar_t> out(capacity);
  QuotedPath(path, out.data(), capacity);
  return out.data();
}

std::wstring Unquoted(const wchar_t* path) {
  wchar_t out[260];
  UnquotedPath(path, out, 260);
  return out;
}

TEST_F(TrayPathsTest, PathsWithBlanksAreQuoted) {
  EXPECT_EQ(Quoted(L"C:\\Velmora\\velmon.exe"), L"C:\\Velmora\\velmon.exe");
  EXPECT_EQ(Quoted(L"C:\\Program Files\\Velmora\\velmon.exe"),
            L"\"C:\\Program Files\\Velmora\\velmon.exe\"");
  // A path of 259 characters still fits, quotes included.
  const std::wstring longPath = L"C:\\a b" + std::wstring(253, L'x');
  EXPECT_EQ(Quoted(longPath.c_str()), L"\"" + longPath + L"\"");
  // Cut to a small buffer, always terminated.
  EXPECT_EQ(Quoted(L"C:\\a b\\c.exe", 6), L"\"C:\\\"");

  EXPECT_EQ(Unquoted(L"\"C:\\Program Files\\v.exe\""), L"C:\\Program Files\\v.exe");
  EXPECT_EQ(Unquoted(L"C:\\v.exe"), L"C:\\v.exe");
  EXPECT_EQ(Unquoted(L"\""), L"\"");
  EXPECT_EQ(Unquoted(L""), L"");
}

TEST_F(TrayPathsTest, ProgramFolderKeepsTheLastSeparator) {
  wchar_t folder[kProgramPathCapacity];
  ProgramFolder(L"C:\\Program Files\\Velmora\\velmon.exe", folder, kProgramPathCapacity);
  EXPECT_STREQ(folder, L"C:\\Program Files\\Velmora\\");
  ProgramFolder(L"D:/tools/velmon.exe", folder, kProgramPathCapacity);
  EXPECT_STREQ(folder, L"D:/tools/");
  ProgramFolder(L"velmon.exe", folder, kProgramPathCapacity);
  EXPECT_STREQ(folder, L"");
}

TEST_F(TrayPathsTest, AutostartHoldsTheQuotedFullPath) {
  machine().programPath = L"C:\\Program Files\\Velmora\\velmon.exe";
  RegisterAutostart();
  const sim::RegValue* value =
      machine().Key(plat::kLocalMachine, kRunKeyPath).Find(kAutostartValueName);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, plat::kRegSz);
  const std::wstring expected = L"\"C:\\Program Files\\Velmora\\velmon.exe\"";
  // The stored size counts the quotes and the terminating zero.
  ASSERT_EQ(value->data.size(), (expected.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(value->data.data())), expected);
  EXPECT_EQ(machine().openHandles, 0);
}

TEST_F(TrayPathsTest, AutostartOfAPathLongerThanTheBufferWritesNothing) {
  // 259 characters and the terminating zero fill the 260-character buffer.
  const std::pair<size_t, bool> cases[] = {{259, true}, {260, false}, {400, false}};
  for (const auto& [length, written] : cases) {
    sim::Reset();
    machine().programPath = L"C:\\" + std::wstring(length - 3, L'x');
    RegisterAutostart();
    const sim::RegValue* value =
        machine().Key(plat::kLocalMachine, kRunKeyPath).Find(kAutostartValueName);
    EXPECT_EQ(value != nullptr, written) << length;
    if (value != nullptr) {
      EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(value->data.data())),
                machine().programPath);
    }
    EXPECT_EQ(machine().openHandles, 0) << length;
  }
}

TEST_F(TrayPathsTest, AutostartWithoutRightsWritesNothing) {
  machine().Key(plat::kLocalMachine, kRunKeyPath).accessDenied = true;
  RegisterAutostart();
  EXPECT_TRUE(Events(sim::EventKind::RegSet).empty());
  EXPECT_EQ(machine().openHandles, 0);
}

}  // namespace
