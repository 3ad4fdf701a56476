#!/usr/bin/env bash
# Each program's version record and manifest as Windows reads them: the name,
# version and owner Explorer shows, the rights each asks for (velsvc an
# administrator's, velmon and velpanel the user's: velpanel asks for more only
# when it needs them), DPI awareness and common controls 6. And velsvc's message
# table as the Event Viewer renders it: a message for every entry the service
# writes and no other, each using exactly the insertion strings the service
# passes.
#
#   resources_test.sh RESOURCE_PROBE.EXE VELSVC.EXE VELMON.EXE VELPANEL.EXE
set -u
here="$(cd "$(dirname "$0")" && pwd)"
probe=$1
failed=0

expect() {  # expect PROGRAM DESCRIPTION LEVEL
  local name
  name=$(basename "$1")
  local wanted="CompanyName=Quorlex
FileDescription=$2
FileVersion=1.0.0
OriginalFilename=$name
ProductName=Velmora
ProductVersion=1.0.0
fixed=1.0.0.0
level=$3
dpiAware=true/pm
dpiAwareness=PerMonitorV2, PerMonitor
common-controls=6.0.0.0"
  local actual
  actual=$(bash "$here/wine-run.sh" "$probe" "$(winepath_of "$1")" 2>/dev/null | sed 's/\r$//')
  if [ "$actual" != "$wanted" ]; then
    echo "FAIL: $name"
    diff <(echo "$wanted") <(echo "$actual")
    failed=$((failed + 1))
  fi
}
# Wine sees the host's root as drive Z:.
winepath_of() { echo "Z:$(realpath "$1" | tr / '\\')"; }

expect "$2" "Velmora Service" requireAdministrator
expect "$3" "Velmora Tray Monitor" asInvoker
expect "$4" "Velmora Control Panel" asInvoker

# The probe renders each message with FormatMessageW from velsvc.exe loaded as
# a data file, as the Event Viewer does, with <N> for the N-th insertion string
# and \n for a line break; a reference beyond the strings the service passes
# would show as <unexpected N>.
messages_wanted='table: 1 2 3 4 5 6 7 8
entries: 1 2 3 4 5 6 7 8
1 information 10: The Velmora Service started. The settings in force, each with where it came from (policy, registry or default):\nSettings: <1> (<2>)\nMemoryZipperPlus: <3> (<4>)\nRamAvailable: <5> MB (<6>)\nMaxCacheSize: <7> KB (<8>)\nBasedOnRam: <9> percent (<10>)
2 information 0: The Velmora Service stopped.
3 information 1: The Velmora Service took up changed settings. Each changed setting, its value before and now, and where the new value came from (policy, registry or default):\n<1>
4 error 1: The Velmora Service cannot tune the file cache: <1>. It goes on running but leaves the file cache and the memory alone until it is started again.
5 warning 1: The Velmora Service could not enable the privilege <1> in its token. Setting the file-cache limits may fail.
6 warning 3: Setting the file-cache limits failed. Failures since the last such entry: <1>. The latest request was a minimum of <2> KB and a maximum of <3> KB (4294967295 KB for both empties the cache). Further failures are reported at most once an hour.
7 warning 4: The <1> decided to free <2> MB, more than half of the <3> MB of commit (page file) still available. It asked for <4> MB instead, so that other programs can still commit memory. This is reported at most once an hour.
8 information 3: The periodic boost asked to free <1> MB at a memory load of <2> percent, with <3> MB of physical memory available. This is reported at most once an hour.'
messages_actual=$(bash "$here/wine-run.sh" "$probe" messages "$(winepath_of "$2")" 2>/dev/null | sed 's/\r$//')
if [ "$messages_actual" != "$messages_wanted" ]; then
  echo "FAIL: velsvc.exe's message table"
  diff <(echo "$messages_wanted") <(echo "$messages_actual")
  failed=$((failed + 1))
fi

[ "$failed" -eq 0 ] && echo "3 programs and velsvc's message table checked"
[ "$failed" -eq 0 ]
