#!/usr/bin/env bash
# Velmora's Windows Installer package under Wine, as a deployment tool runs it:
# a quiet installation for every user (the service running, its event source,
# velmon's autostart value, the Start-menu entries, the entry in the list of
# installed programs), a repair, a refused downgrade, quiet uninstallations
# that leave the settings and nothing else, and an upgrade from an earlier
# version over its running service.
#
#   msi_test.sh PACKAGE.MSI EARLIER.MSI SVC_PROBE.EXE
#
# PACKAGE.MSI is installer/msi/velmora.wxs built as version 1.0.0, EARLIER.MSI
# the same built as 0.9.0.
set -u
msi=$1
earlier_msi=$2
probe_exe=$3
# msiexec /qn shows no window.
unset DISPLAY
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/desktop.sh"
# The package's Start-menu shortcuts would otherwise become menu entries of the
# Linux desktop too.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

cleanup() {
  prefix_end
  rm -rf "${work:-}"
}

prefix_begin wine-prefix-msi
trap cleanup EXIT
work="$(mktemp -d)"

cp "$msi" "$WINEPREFIX/drive_c/velmora-1.0.0-x64.msi"
cp "$earlier_msi" "$WINEPREFIX/drive_c/velmora-0.9.0-x64.msi"
cp "$probe_exe" "$WINEPREFIX/drive_c/svc_probe.exe"
probe() { win 'C:\svc_probe.exe' "$@"; }
# The files as packed, to compare the installed ones with.
msiextract -C "$work/package" "$msi" >/dev/null || give_up "msiextract cannot read $msi"
product_code() {  # product_code PACKAGE
  msiinfo export "$1" Property | tr -d '\r' | awk '$1 == "ProductCode" { print $2 }'
}
code=$(product_code "$msi")
earlier_code=$(product_code "$earlier_msi")

folder="$WINEPREFIX/drive_c/Program Files/Velmora"
# Wine puts the shortcuts of the machine's Start menu into the user's.
start_menu="$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/'Start Menu'/Programs)"
service_key='HKLM\SYSTEM\CurrentControlSet\Services\Velmora Service'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
settings_key='HKLM\SOFTWARE\Quorlex\Velmora'
eventlog_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Velmora Service'

# Programs that msiexec starts itself (velsvc -stop) see 400 MB available, as
# in the setup program's test. The service is started by the service manager,
# outside that namespace: AutoOptHour keeps its boost away (below).
pin_memory "$work/meminfo"

# Runs msiexec with ARGUMENTS (one string, as cmd reads it) and prints its exit
# code as Windows Installer gives it: through cmd, since wine's own exit code
# keeps only the low 8 bits (1603 would read 67). The output goes to a file:
# a program msiexec starts must not hold a pipe of ours open.
run_msiexec() {
  pinned wine cmd /c "msiexec $1 & echo rc=%errorlevel%" </dev/null >"$work/msiexec.out" 2>&1
  tr -d '\r' <"$work/msiexec.out" | sed -n 's/^rc=//p'
}

# The values of KEY as "NAME TYPE DATA" lines, in reg query's order; nothing
# when there is no KEY.
values() {
  win reg query "$1" 2>/dev/null | awk '/^    [^ ]/ { sub(/^    /, ""); gsub(/    /, " "); print }'
}
value() { values "$1" | awk -v name="$2" '$1 == name { sub(/^[^ ]* /, ""); print }'; }
# The product codes of the installed programs named "Velmora", one a line.
velmora_products() {
  win reg query "$uninstall_root" /s 2>/dev/null |
    awk '/^HKEY_/ { key = $0; sub(/.*\\/, "", key) } $0 == "    DisplayName    REG_SZ    Velmora" { print key }'
}
service_runs() { [ "$(probe state | cut -d' ' -f1)" == "4" ]; }

# A path with a blank is quoted in the service's entry: velsvc -install quotes
# it, and so does Windows Installer. Wine's msi writes it without quotes, so
# both forms count here, and the entries are compared without them.
image_path_unquoted() { sed 's/^\(ImagePath REG_[A-Z_]*\) "\(.*\)"$/\1 \2/'; }
service_path_stored() {
  local path
  path=$(probe path)
  [ "$path" == '"C:\Program Files\Velmora\velsvc.exe"' ] ||
    [ "$path" == 'C:\Program Files\Velmora\velsvc.exe' ]
}

# ---- The checks of an installed, running Velmora ------------------------------

check_installed() {  # check_installed WHEN VERSION PRODUCT_CODE
  local when=$1 version=$2 product=$3 name entry
  check "$when: the files" $'velmon.exe\nvelmora.chm\nvelpanel.exe\nvelsvc.exe' "$(ls "$folder" 2>&1)"
  for name in velsvc.exe velmon.exe velpanel.exe velmora.chm; do
    check_that "$when: $name as packed" cmp -s "$work/package/Velmora/$name" "$folder/$name"
  done
  check_that "$when: the service runs" poll 10 service_runs
  check "$when: the service's presence mutex" "exists" "$(probe mutex)"
  check_that "$when: the service's path, quoted or not" service_path_stored
  check "$when: the service's entry is the one velsvc -install makes" "$reference_entry" \
    "$(values "$service_key" | image_path_unquoted)"
  check "$when: the event source, its messages in velsvc.exe" \
    $'EventMessageFile REG_EXPAND_SZ C:\\Program Files\\Velmora\\velsvc.exe\nTypesSupported REG_DWORD 0x7' \
    "$(values "$eventlog_key" | sort)"
  check "$when: velmon's autostart value, REG_SZ, quoted path" \
    'REG_SZ "C:\Program Files\Velmora\velmon.exe"' "$(value "$run_key" Velmora)"
  for entry in "Velmora Monitor:velmon.exe" "Velmora Control Panel:velpanel.exe" \
    "Velmora Help:velmora.chm"; do
    check_that "$when: the Start-menu entry ${entry%%:*} opens ${entry#*:}" \
      grep -aqF "C:\\Program Files\\Velmora\\${entry#*:}" "$start_menu/${entry%%:*}.lnk"
  done
  check "$when: one product installed" "$product" "$(velmora_products)"
  entry="$uninstall_root\\$product"
  check "$when: the list of installed programs" \
    $'REG_SZ Velmora\nREG_SZ '"$version"$'\nREG_SZ Quorlex\nREG_SZ C:\\Program Files\\Velmora\\\nREG_DWORD 0x1' \
    "$(for name in DisplayName DisplayVersion Publisher InstallLocation NoModify; do
      value "$entry" "$name"
    done)"
  check "$when: AutoOptHour as set before" "REG_DWORD 0x7530" "$(value "$settings_key" AutoOptHour)"
}

check_uninstalled() {  # check_uninstalled WHEN SETTINGS_BEFORE
  local when=$1 settings_before=$2
  check "$when: the service is gone" "absent" "$(probe state)"
  check "$when: its presence mutex is gone" "absent" "$(probe mutex)"
  check "$when: no autostart value" "" "$(value "$run_key" Velmora)"
  check "$when: no event source" "absent" \
    "$(win reg query "$eventlog_key" >/dev/null && echo present || echo absent)"
  check "$when: the folder is gone" "absent" "$([ -e "$folder" ] && echo present || echo absent)"
  check "$when: no Start-menu entries" "" "$(cd "$start_menu" && ls -- *Velmora* 2>/dev/null)"
  check "$when: no product installed" "" "$(velmora_products)"
  check "$when: the settings stay, every value as it was" "$settings_before" "$(values "$settings_key")"
}

# ---- Before ---------------------------------------------------------------------

# The service's first tick would start its periodic boost, which squeezes most
# of this machine's memory (Wine reports the host's): with AutoOptHour 30000 it
# comes only after 20000 maintenance rounds. The package leaves the settings
# alone, so the value is there before the service first starts.
win reg add "$settings_key" /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
check "nothing installed before" "absent" "$(probe state)"

# The service entry velsvc -install makes from the folder the package installs
# into, to compare the package's with.
mkdir -p "$folder"
cp "$work/package/Velmora/velsvc.exe" "$folder/velsvc.exe"
win 'C:\Program Files\Velmora\velsvc.exe' -install >/dev/null
reference_entry=$(values "$service_key" | image_path_unquoted)
check_that "velsvc -install made an entry" test -n "$reference_entry"
win 'C:\Program Files\Velmora\velsvc.exe' -remove >/dev/null
check "velsvc -remove removed it" "absent" "$(probe state)"
rm -rf "$folder"

# ---- A quiet installation, a repair, a refused downgrade, a quiet uninstallation

check "install: msiexec /i /qn exits with 0" "0" \
  "$(run_msiexec '/i C:\velmora-1.0.0-x64.msi /qn /l*v C:\install.log')"
check_installed "installed" 1.0.0 "$code"

# Wine's msiexec /f takes neither a package (1605) nor a product code (1); the
# properties it stands for repair the same: every file again, the machine's
# and the user's registry values, the shortcuts.
rm "$folder/velpanel.exe" "$start_menu/Velmora Monitor.lnk"
win reg delete "$run_key" /v Velmora /f >/dev/null 2>&1
check "repair: msiexec REINSTALL=ALL REINSTALLMODE=amus exits with 0" "0" \
  "$(run_msiexec '/i C:\velmora-1.0.0-x64.msi REINSTALL=ALL REINSTALLMODE=amus /qn /l*v C:\repair.log')"
check_installed "repaired" 1.0.0 "$code"

check "downgrade: refused with 1603 (fatal error)" "1603" \
  "$(run_msiexec '/i C:\velmora-0.9.0-x64.msi /qn /l*v C:\downgrade.log')"
check_installed "downgrade refused" 1.0.0 "$code"

settings_before=$(values "$settings_key")
check "uninstall: msiexec /x /qn exits with 0" "0" \
  "$(run_msiexec '/x C:\velmora-1.0.0-x64.msi /qn /l*v C:\uninstall.log')"
check_uninstalled "uninstalled" "$settings_before"

# ---- An upgrade from an earlier version --------------------------------------------

check "earlier: msiexec /i /qn exits with 0" "0" \
  "$(run_msiexec '/i C:\velmora-0.9.0-x64.msi /qn /l*v C:\earlier.log')"
check_installed "earlier" 0.9.0 "$earlier_code"

# Each file of the earlier version is marked: after the upgrade each must be the
# package's again, byte for byte.
for name in velsvc.exe velmon.exe velpanel.exe velmora.chm; do
  echo "0.9.0" >>"$folder/$name"
done
check "upgrade: msiexec /i /qn exits with 0" "0" \
  "$(run_msiexec '/i C:\velmora-1.0.0-x64.msi /qn /l*v C:\upgrade.log')"
check_installed "upgraded" 1.0.0 "$code"

# As a deployment tool removes it: by its product code.
settings_before=$(values "$settings_key")
check "uninstall by product code: msiexec /x /qn exits with 0" "0" \
  "$(run_msiexec "/x $code /qn /l*v C:\\uninstall-code.log")"
check_uninstalled "uninstalled by product code" "$settings_before"

# ---- The end ------------------------------------------------------------------------

cleanup
check "no Wine process of the prefix left" "0" "$(prefix_pids | wc -l)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
