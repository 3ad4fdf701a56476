#!/usr/bin/env bash
# Each program's version record and manifest as Windows reads them: the name,
# version and owner Explorer shows, the rights each asks for (velsvc an
# administrator's, velmon and velpanel the user's: velpanel asks for more only
# when it needs them), DPI awareness and common controls 6.
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
[ "$failed" -eq 0 ] && echo "3 programs checked"
[ "$failed" -eq 0 ]
