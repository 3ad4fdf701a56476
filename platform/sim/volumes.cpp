// The simulated machine's drives and volumes.
#include <cwctype>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace plat {

namespace {

const sim::Drive* DriveOf(wchar_t letter) {
  for (const sim::Drive& drive : sim::machine().drives) {
    if (std::towupper(static_cast<wint_t>(drive.letter)) ==
        std::towupper(static_cast<wint_t>(letter))) {
      return &drive;
    }
  }
  return nullptr;
}

}  // namespace

uint32_t LogicalDrives() {
  uint32_t mask = 0;
  for (const sim::Drive& drive : sim::machine().drives) {
    mask |= 1u << (std::toupper(drive.letter) - 'A');
  }
  return mask;
}

uint32_t DriveType(const wchar_t* rootPath) {
  const sim::Drive* drive = DriveOf(rootPath[0]);
  return drive != nullptr ? drive->type : kDriveNoRootDir;
}

Handle OpenVolume(const wchar_t* path) {
  // "\\.\X:"
  const sim::Drive* drive = DriveOf(path[4]);
  if (sim::machine().Faulted(sim::Call::VolumeOpen) || drive == nullptr || !drive->opens) {
    return kInvalidHandle;
  }
  ++sim::machine().openHandles;
  return sim::MakeHandle(sim::HandleKind::Volume, static_cast<uintptr_t>(drive->letter));
}

bool FlushVolume(Handle volume) {
  if (sim::machine().Faulted(sim::Call::VolumeFlush) ||
      !sim::IsHandle(volume, sim::HandleKind::Volume)) {
    return false;
  }
  sim::Event event{sim::EventKind::Flush};
  event.volume = static_cast<char>(std::toupper(static_cast<int>(sim::HandleIndex(volume))));
  sim::machine().Record(event);
  return true;
}

}  // namespace plat
