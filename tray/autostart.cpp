#include "tray/autostart.h"

#include "common/quoted_path.h"
#include "common/reg_key.h"
#include "platform/platform.h"
#include "tray/program_folder.h"

void RegisterAutostart() {
  RegKey key(plat::kLocalMachine, kAutostartKeyAccess);
  if (key.Open(plat::kLocalMachine, kRunKeyPath)) {
    wchar_t path[kProgramPathCapacity] = {};
    if (plat::ProgramPath(path, kProgramPathCapacity) != 0) {
      wchar_t value[kProgramPathCapacity + 2] = {};
      QuotedPath(path, value, kProgramPathCapacity + 2);
      key.SetString(kAutostartValueName, value);
    }
  }
  key.Close();
}
