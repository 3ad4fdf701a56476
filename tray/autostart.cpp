#include "tray/autostart.h"

#include "common/quoted_path.h"
#include "common/reg_key.h"
#include "platform/platform.h"
#include "tray/program_folder.h"

void RegisterAutostart() {
  RegKey key(plat::kLocalMachine, kAutostartKeyAccess);
  if (key.Open(plat::kLocalMachine, kRunKeyPath)) {
    wchar_t path[kProgramPathCapacity] = {};
    // A path longer than the buffer comes back cut, which names another file:
    // then nothing is written.
    const uint32_t length = plat::ProgramPath(path, kProgramPathCapacity);
    if (length != 0 && length < kProgramPathCapacity &&
        plat::LastError() != plat::kErrorInsufficientBuffer) {
      wchar_t value[kProgramPathCapacity + 2] = {};
      QuotedPath(path, value, kProgramPathCapacity + 2);
      key.SetString(kAutostartValueName, value);
    }
  }
  key.Close();
}
