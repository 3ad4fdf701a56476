#!/usr/bin/env bash
# Velmora's setup program under Wine, as an administrator sees it: a silent
# installation into "C:\Program Files\Velmora" that starts the service, has the
# desktop's shell start the tray monitor (not the elevated setup itself), adds
# the Start-menu entries and registers the uninstaller; an update over the
# running installation; the uninstaller, which keeps the settings unless
# /REMOVESETTINGS asks otherwise, and leaves nothing else behind; and, clicked
# through as a user does, the setup's welcome page of a first installation and
# of an update, the lines of its details list, and the uninstaller's question
# about the settings.
#
#   installer_test.sh SETUP.EXE SVC_PROBE.EXE PANEL_PROBE.EXE TRAY_PROBE.EXE
#
# SETUP.EXE is installer/velmora.nsi built with VERSION 1.0.0.
#
# The tray monitor needs a display: the setup program runs in a Wine desktop
# with a taskbar on a virtual display of its own, and with a private
# /proc/meminfo (a mount namespace of its own) that the tray monitor it starts
# inherits, so that nothing it does is sized from the host's memory.
set -u
setup_exe=$1
probe_exe=$2
panel_probe_exe=$3
tray_probe_exe=$4
# The prefix's first programs must not bind to a display: the desktop of this
# test is started later, on its own display.
unset DISPLAY
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/desktop.sh"
# Saving a shortcut in a Start menu would make Wine's menu builder add an entry
# to the host's own menus.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

cleanup() {
  prefix_end
  desktop_end
  rm -rf "${work:-}"
}

prefix_begin wine-prefix-installer
trap cleanup EXIT
work="$(mktemp -d)"

# ---- The desktop -------------------------------------------------------------

# Every program of the prefix runs in the desktop "shell", whose taskbar shows
# notification icons.
desktop_begin "$work" || give_up "Xvfb did not start"
poll 30 taskbar_shown || give_up "the desktop's taskbar did not appear"

# ---- Programs, probes and the pinned memory ---------------------------------------

cp "$setup_exe" "$WINEPREFIX/drive_c/velmora-setup.exe"
cp "$probe_exe" "$WINEPREFIX/drive_c/svc_probe.exe"
cp "$panel_probe_exe" "$WINEPREFIX/drive_c/panel_probe.exe"
cp "$tray_probe_exe" "$WINEPREFIX/drive_c/tray_probe.exe"
folder="$WINEPREFIX/drive_c/Program Files/Velmora"
probe() { win 'C:\svc_probe.exe' "$@"; }
panel() { win 'C:\panel_probe.exe' "$@"; }
tray() { win 'C:\tray_probe.exe' "$@"; }

# 400 MB available and a small page file: a squeeze that the tray monitor might
# start stays small.
pin_memory "$work/meminfo"

# Runs the setup program with ARGUMENTS in the pinned namespace and prints its
# exit code. Its output, with Wine's trace of the processes it and its children
# create, goes to $work/NAME.trace: a file, as the tray monitor it starts would
# hold a pipe open for as long as it runs.
run_setup() {  # run_setup NAME ARGUMENT...
  local name=$1
  shift
  WINEDEBUG=+pid,+process pinned wine 'C:\velmora-setup.exe' "$@" </dev/null \
    >"$work/$name.trace" 2>&1
  echo $?
}
# How velmon was started in a run of the setup, from the trace of its process
# creations ("PID:TID:trace:process:..." lines, with Windows paths escaped):
# the setup is the first process to create one for velsvc -start (nsExec's
# helper, which starts velsvc).
velmon_route() {  # velmon_route TRACE
  SVC='\\Velmora\\velsvc.exe\" -start"' \
    EXPLORER='cmdline L"\"C:\\windows\\explorer.exe\" \"C:\\Program Files\\Velmora\\velmon.exe\""' \
    VELMON='cmdline L"\"C:\\Program Files\\Velmora\\velmon.exe\""' \
    awk '
      { split($0, field, ":"); pid = field[1]; thread = field[1] ":" field[2] }
      !index($0, ":trace:process:CreateProcessInternalW ") { next }
      index($0, ENVIRON["SVC"]) && setup == "" { setup = pid }
      index($0, ENVIRON["EXPLORER"]) && pid == setup { asking = thread }
      index($0, " started process pid ") && thread == asking && explorer == "" {
        explorer = $0; sub(/.* started process pid /, "", explorer); sub(/ .*/, "", explorer)
      }
      index($0, ENVIRON["VELMON"]) && creator == "" { creator = pid }
      END {
        if (creator == "") print "not started"
        else if (creator == setup) print "by the setup itself"
        else if (creator == explorer) print "by the explorer.exe the setup asked"
        else print "by another process"
      }' "$1"
}
# Runs a command line exactly as written, from a batch file: the uninstaller's
# "_?=" switch must be the last one and must not be quoted, while wine itself
# quotes every argument that contains a blank. cmd waits for the program and
# passes its exit code on.
run_line() {
  printf '@echo off\r\n%s\r\nexit /b %%errorlevel%%\r\n' "$1" >"$WINEPREFIX/drive_c/line.bat"
  pinned wine cmd /c 'C:\line.bat' </dev/null >>"$work/setup.out" 2>&1
  echo $?
}

velmon_pids() { programs | awk 'index($0, "C:\\Program Files\\Velmora\\velmon.exe") { print $1 }'; }
velmon_runs() { [ "$(velmon_pids | wc -l)" -eq 1 ]; }
velmon_gone() { [ -z "$(velmon_pids)" ]; }

# reg query's data of value NAME in KEY ("TYPE DATA"), or nothing.
regvalue() {  # regvalue KEY NAME
  win reg query "$1" /v "$2" 2>/dev/null |
    awk -v name="$2" 'index($0, "    " name "    ") == 1 {
      sub("^    " name "    ", ""); sub("    ", " "); print }'
}
# The names of the values of KEY, one a line, sorted; or "absent".
regnames() {
  local out
  out=$(win reg query "$1" 2>/dev/null) || { echo "absent"; return; }
  printf '%s\n' "$out" | awk '/^    [^ ]/ { sub(/^    /, ""); sub(/    .*/, ""); print }' | sort
}
key_absent() { ! win reg query "$1" >/dev/null 2>&1; }

run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\Velmora Service'
settings_key='HKLM\SOFTWARE\Quorlex\Velmora'
autostart_wanted='REG_SZ "C:\Program Files\Velmora\velmon.exe"'
autostart_written() { [ "$(regvalue "$run_key" Velmora)" == "$autostart_wanted" ]; }

# The Start-menu entries of all users. (Wine's msiexec puts a package's entries
# into the user's Start menu; the setup program's land where Windows puts them.)
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
start_menu_entries() { find "$start_menu" -maxdepth 1 -iname '*velmora*' -printf '%f\n' 2>/dev/null | sort; }
# Velmora's entries in the users' own Start menus (and anywhere else in their
# profiles).
user_entries() { find "$WINEPREFIX/drive_c/users" -iname '*velmora*.lnk' -printf '%f\n' | sort; }
# The program an entry starts: the target's path, as the link stores it.
entry_target() { strings -a "$start_menu/$1.lnk" | grep -m 1 -x 'C:\\Program Files\\Velmora\\[^\\]*'; }
# Starts an entry as a click in the Start menu does (the shell opens the link).
start_entry() {
  pinned wine start "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$1.lnk" \
    </dev/null >>"$work/setup.out" 2>&1
}

# ---- The checks of an installed, running Velmora -------------------------------

check_installed() {  # check_installed WHEN
  local when=$1 state
  check "$when: the files" \
    $'uninstall.exe\nvelmon.exe\nvelmora.chm\nvelpanel.exe\nvelsvc.exe' "$(ls "$folder" 2>&1)"
  state=$(probe state)
  check "$when: the service runs" "4" "${state%% *}"
  check "$when: the service's presence mutex" "exists" "$(probe mutex)"
  check "$when: the service's path, quoted" \
    'REG_SZ "C:\Program Files\Velmora\velsvc.exe"' "$(regvalue "$service_key" ImagePath)"
  check "$when: the service starts with Windows" "REG_DWORD 0x2" "$(regvalue "$service_key" Start)"
  check_that "$when: one velmon runs" poll 30 velmon_runs
  check_that "$when: velmon's autostart value, REG_SZ, quoted path" poll 30 autostart_written
  check "$when: the Start-menu entries of all users" \
    $'Velmora Control Panel.lnk\nVelmora Help.lnk\nVelmora Monitor.lnk' "$(start_menu_entries)"
  check "$when: none in the user's own Start menu" "" "$(user_entries)"
  check "$when: Velmora Monitor starts velmon" 'C:\Program Files\Velmora\velmon.exe' \
    "$(entry_target "Velmora Monitor")"
  check "$when: Velmora Control Panel starts velpanel" 'C:\Program Files\Velmora\velpanel.exe' \
    "$(entry_target "Velmora Control Panel")"
  check "$when: Velmora Help opens the help" 'C:\Program Files\Velmora\velmora.chm' \
    "$(entry_target "Velmora Help")"
  check "$when: the uninstaller's entry" \
    $'DisplayIcon\nDisplayName\nDisplayVersion\nEstimatedSize\nInstallLocation\nNoModify\nNoRepair\nPublisher\nQuietUninstallString\nUninstallString' \
    "$(regnames "$uninstall_key")"
  check "$when: DisplayName" "REG_SZ Velmora 1.0" "$(regvalue "$uninstall_key" DisplayName)"
  check "$when: DisplayVersion" "REG_SZ 1.0.0" "$(regvalue "$uninstall_key" DisplayVersion)"
  check "$when: Publisher" "REG_SZ Quorlex" "$(regvalue "$uninstall_key" Publisher)"
  check "$when: InstallLocation" 'REG_SZ C:\Program Files\Velmora' \
    "$(regvalue "$uninstall_key" InstallLocation)"
  check "$when: DisplayIcon" 'REG_SZ C:\Program Files\Velmora\velmon.exe' \
    "$(regvalue "$uninstall_key" DisplayIcon)"
  check "$when: UninstallString" 'REG_SZ "C:\Program Files\Velmora\uninstall.exe"' \
    "$(regvalue "$uninstall_key" UninstallString)"
  check "$when: QuietUninstallString" 'REG_SZ "C:\Program Files\Velmora\uninstall.exe" /S' \
    "$(regvalue "$uninstall_key" QuietUninstallString)"
  check "$when: NoModify" "REG_DWORD 0x1" "$(regvalue "$uninstall_key" NoModify)"
  check "$when: NoRepair" "REG_DWORD 0x1" "$(regvalue "$uninstall_key" NoRepair)"
  # The size of the installed files in KB, rounded down.
  local bytes
  bytes=$(cat "$folder"/* | wc -c)
  check "$when: EstimatedSize" "REG_DWORD $(printf '0x%x' $((bytes / 1024)))" \
    "$(regvalue "$uninstall_key" EstimatedSize)"
  # The installer leaves the settings to the service, which adds the values
  # that are missing.
  check "$when: AutoOptHour as set before" "REG_DWORD 0x7530" "$(regvalue "$settings_key" AutoOptHour)"
  check_that "$when: the service added its settings" test "$(regnames "$settings_key" | wc -l)" -gt 1
}

check_uninstalled() {  # check_uninstalled WHEN
  local when=$1
  check "$when: the service is gone" "absent" "$(probe state)"
  check "$when: its presence mutex is gone" "absent" "$(probe mutex)"
  check_that "$when: velmon has ended" poll 10 velmon_gone
  check "$when: no autostart value" "" "$(regvalue "$run_key" Velmora)"
  check "$when: the folder is gone" "absent" "$([ -e "$folder" ] && echo present || echo absent)"
  check "$when: no Start-menu entries left" "" "$(start_menu_entries; user_entries)"
  check_that "$when: the uninstaller's entry is gone" key_absent "$uninstall_key"
}

# The control panel as installed: started in the desktop, driven by
# panel_probe through its fields and buttons (ids of panel/resources/resource.h:
# row 2 is RamAvailable; 1001 the banner, 1002 Apply, 1003 the result line,
# 1004 the service line, 1202 the field, 1402 its message).
start_panel() {  # start_panel [ARGUMENT]: runs velpanel in the background
  wine 'C:\Program Files\Velmora\velpanel.exe' "$@" </dev/null >>"$work/panel.out" 2>&1 &
  panel_pid=$!
}
check_panel_changes_setting() {
  local before lines
  before=$(regvalue "$settings_key" RamAvailable)
  start_panel
  mapfile -t lines < <(panel text 1001 text 1004 text 1202)
  check "panel: its window" "found" "${lines[0]:-}"
  check "panel: writable for an administrator" \
    "Change a value and press Apply: the values are saved and the running service takes them up at once." \
    "${lines[1]:-}"
  check "panel: the service's state" "Service: running" "${lines[2]:-}"
  check "panel: RamAvailable as stored" "REG_DWORD $(printf '0x%x' "${lines[3]:-0}")" "$before"

  # A field that is not a number: refused beside the field, nothing written.
  mapfile -t lines < <(panel set 2 "12x" press 1002 text 1402 text 1003)
  check "panel: not a number refused" "Not a whole number: enter 1 to " "${lines[3]:0:31}"
  check "panel: nothing saved" "Nothing was saved: correct the values marked in red." "${lines[4]:-}"
  check "panel: the registry unchanged" "$before" "$(regvalue "$settings_key" RamAvailable)"

  mapfile -t lines < <(panel set 2 "200" press 1002 text 1402 text 1003)
  check "panel: 200 accepted" "" "${lines[3]-x}"
  check "panel: saved and taken up" "Saved 1 value; the service has taken it up." "${lines[4]:-}"
  check "panel: RamAvailable written as a DWORD" "REG_DWORD 0xc8" \
    "$(regvalue "$settings_key" RamAvailable)"

  # The service took 200 into its store: a value deleted from outside comes
  # back at the next reload with the value the service last read, not with the
  # one it had before.
  win reg delete "$settings_key" /v RamAvailable /f >/dev/null 2>&1
  check "service: reload accepted" "ok 4" "$(probe control 144 | cut -d' ' -f1-2)"
  ramavailable_back() { [ "$(regvalue "$settings_key" RamAvailable)" == "REG_DWORD 0xc8" ]; }
  check_that "service: it writes back the panel's 200" poll 10 ramavailable_back

  mapfile -t lines < <(panel press 2 gone)
  check "panel: Close ends it" "gone" "${lines[2]:-}"
  wait "$panel_pid"
  check "panel: exit code" "0" "$?"

  start_panel about
  mapfile -t lines < <(panel wait "About Velmora" text 1601 text 1602 press 1 gone)
  check "about: the box" \
    $'found\nVelmora\nVersion 1.0.0\nok\ngone' "$(printf '%s\n' "${lines[@]}")"
  wait "$panel_pid"
  check "about: exit code" "0" "$?"

  start_panel bogus
  mapfile -t lines < <(panel text 65535 press 1 gone)
  check "unknown parameter: said" \
    $'found\nUnknown parameter "bogus".\n\nStart velpanel.exe without parameters to change the settings, or with "about" to see its version.\nok\ngone' \
    "$(printf '%s\n' "${lines[@]}")"
  wait "$panel_pid"
  check "unknown parameter: exit code" "2" "$?"
}

help_viewer() { programs | grep -qi 'hh\.exe.*C:\\Program Files\\Velmora\\velmora\.chm'; }
help_viewer_gone() { ! help_viewer; }

# velmon's Properties, About and Help items open the installed control panel,
# its About box and the help file.
check_tray_opens_companions() {
  local lines
  check "tray: Properties" "sent" "$(tray send 40002)"
  mapfile -t lines < <(panel text 1004)
  check "tray: Properties opens the control panel" $'found\nService: running' \
    "$(printf '%s\n' "${lines[@]}")"
  # A second start brings the open panel forward; no second panel opens.
  start_panel
  panel_ended() { ! kill -0 "$panel_pid" 2>/dev/null; }
  if poll 10 panel_ended; then
    wait "$panel_pid"
    check "panel: a second start ends at once, with 0" "0" "$?"
  else
    check "panel: a second start ends at once" "ended" "still running"
  fi
  mapfile -t lines < <(panel count press 2 gone)
  check "panel: still one panel, then closed" $'found\n1\nok\ngone' \
    "$(printf '%s\n' "${lines[@]}")"
  check "tray: About" "sent" "$(tray send 40003)"
  mapfile -t lines < <(panel wait "About Velmora" text 1602 press 1 gone)
  check "tray: About opens the About box" $'found\nVersion 1.0.0\nok\ngone' \
    "$(printf '%s\n' "${lines[@]}")"
  check "tray: Help" "sent" "$(tray send 40004)"
  check_that "tray: Help opens velmora.chm in the help viewer" poll 20 help_viewer
}

# ---- First installation --------------------------------------------------------

# The service's first tick would start its periodic boost, which squeezes most
# of this machine's memory (Wine reports the host's): with AutoOptHour 30000 it
# comes only after 20000 maintenance rounds. The installer leaves existing
# settings alone, so the value is there before the service first starts.
win reg add "$settings_key" /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
check "nothing installed before" "absent" "$(probe state)"

check "setup /S exits with 0" "0" "$(run_setup install /S)"
check_installed "installed"
# Not the setup's elevated token: the desktop's shell starts velmon. (Wine has
# no tokens; the route shows.)
check "installed: velmon started" "by the explorer.exe the setup asked" \
  "$(velmon_route "$work/install.trace")"
check_panel_changes_setting
check_tray_opens_companions

# After "Exit Monitor" the Start menu brings the tray back, and opens the
# control panel.
check "exit monitor" "sent" "$(tray send 40005)"
check_that "exit monitor: velmon has ended" poll 10 velmon_gone
start_entry "Velmora Monitor"
check_that "Start menu: Velmora Monitor starts velmon again" poll 30 velmon_runs
start_entry "Velmora Control Panel"
mapfile -t lines < <(panel text 1004 press 2 gone)
check "Start menu: Velmora Control Panel opens the panel" $'found\nService: running\nok\ngone' \
  "$(printf '%s\n' "${lines[@]}")"

# ---- An update over the running installation ----------------------------------------

velmon_before=$(velmon_pids)
check "update: setup /S exits with 0" "0" "$(run_setup update /S)"
check_installed "updated"
check "updated: velmon started" "by the explorer.exe the setup asked" \
  "$(velmon_route "$work/update.trace")"
# The help viewer held velmora.chm open; the update closed it to replace the file.
check_that "update: the help viewer was closed" help_viewer_gone
check_that "update: the earlier velmon has ended" test ! -e "/proc/${velmon_before:-0}"
check_that "update: a new velmon runs" test -n "$(velmon_pids | grep -vx "${velmon_before:-0}")"
# FindWindow sees only the setup's desktop: a velmon of another session is
# ended by taskkill, which the setup runs until it finds none.
check_that "update: taskkill looked for velmon in every session" grep -aqF \
  'cmdline L"\"C:\\windows\\system32\\taskkill.exe\" /F /IM velmon.exe"' "$work/update.trace"

# ---- An update that cannot replace a file ------------------------------------------------

# A folder in velmon.exe's place cannot be overwritten (a read-only file can,
# under Wine as root): the update fails after it has stopped the service, and
# starts the service again before it ends.
mv "$folder/velmon.exe" "$work/velmon.exe"
mkdir "$folder/velmon.exe"
check "failed update: setup /S exits with 2" "2" "$(run_setup failed /S)"
check "failed update: the service runs again" "4" "$(probe state | cut -d' ' -f1)"
check_that "failed update: started again with velsvc -start" grep -aqF \
  'cmdline L"\"C:\\Program Files\\Velmora\\velsvc.exe\" -start"' "$work/failed.trace"
rmdir "$folder/velmon.exe"
mv "$work/velmon.exe" "$folder/velmon.exe"

# ---- Uninstalling, keeping the settings -----------------------------------------------

# An uninstaller copies itself to the temporary folder, starts the copy and
# ends at once. Run as "COPY /S _?=FOLDER" from a copy outside the folder it
# works in place and can be waited for, and still removes the folder's own
# uninstall.exe and the folder.
settings_before=$(win reg query "$settings_key")
mkdir -p "$WINEPREFIX/drive_c/uninstaller"
cp "$folder/uninstall.exe" "$WINEPREFIX/drive_c/uninstaller/uninstall.exe"
check "uninstall /S exits with 0" "0" \
  "$(run_line 'C:\uninstaller\uninstall.exe /S _?=C:\Program Files\Velmora')"
check_uninstalled "uninstalled"
check "uninstalled: the settings stay, every value as it was" "$settings_before" \
  "$(win reg query "$settings_key")"
rm -rf "$WINEPREFIX/drive_c/uninstaller"

# ---- Installing again, uninstalling with the settings ------------------------------------

check "again: setup /S exits with 0" "0" "$(run_setup again /S)"
check_installed "again"

# As a user runs it: the quiet uninstall line from the entry, plus
# /REMOVESETTINGS. The started copy is waited for by its command line.
quiet=$(regvalue "$uninstall_key" QuietUninstallString)
quiet=${quiet#REG_SZ }
check "uninstall /S /REMOVESETTINGS starts with 0" "0" "$(run_line "$quiet /REMOVESETTINGS")"
uninstaller_done() { ! programs | grep -q '\\~nsu[^\\]*\.tmp\\Un\.exe'; }
check_that "the uninstaller's copy ends" poll 60 uninstaller_done
check_uninstalled "removed"
check "removed: no settings" "absent" "$(regnames "$settings_key")"
check "removed: no Quorlex key left empty" "absent" "$(regnames 'HKLM\SOFTWARE\Quorlex')"

# ---- As a user runs them: the pages, the details, the question -------------------------

# Starts the setup program without switches, as a double click does, in the
# background. Its exit code goes to $work/NAME.rc; its output, with Wine's
# trace of the processes it creates and of the lines added to its details
# list, to $work/NAME.trace.
start_setup() {  # start_setup NAME
  (
    WINEDEBUG=+pid,+process,+listview pinned wine 'C:\velmora-setup.exe' </dev/null \
      >"$work/$1.trace" 2>&1
    echo $? >"$work/$1.rc"
  ) &
}
# The lines of the details list, in order, from the trace (without Wine's
# escapes). The trace shows the first 80 characters of each line: expected
# lines are cut the same way.
details() {  # details TRACE
  grep -a 'trace:listview:LISTVIEW_InsertItemT (item=' "$1" |
    sed -E 's/.*pszText=L"(.*)", cchTextMax=.*/\1/; s/\\(.)/\1/g'
}
details_completed() { details "$1" | grep -qx 'Completed'; }
# The setup's window: "Velmora Setup" on the welcome page, with a blank after
# it on the later pages.
setup_page() { panel wait "Velmora Setup " "$@"; }
finish_page_shown() { [ "$(setup_page text 1 | tail -n 1)" == "&Finish" ]; }
setup_ended() { [ -s "$work/$1.rc" ]; }
# Clicks Next on the welcome page (whose text is id 1202 of the page inside the
# window) and Install on the next; then Finish once the installation is done.
# Prints the welcome page's lines.
click_through_setup() {  # click_through_setup NAME
  local lines
  mapfile -t lines < <(panel wait "Velmora Setup" text 1202 press 1 | tr -d '\r')
  printf '%s\n' "${lines[@]:1:${#lines[@]}-2}"
  setup_page press 1 >/dev/null
  poll 120 finish_page_shown
  setup_page press 1 >/dev/null
  poll 30 setup_ended "$1"
}

# The service is to find the long interval again when it first starts.
win reg add "$settings_key" /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
start_setup "window"
check "window: the welcome page of a first installation" \
  "Setup will install Velmora 1.0.0, which keeps the system file cache in bounds and frees memory.

Click Next to continue." "$(click_through_setup window)"
check "window: setup exits with 0" "0" "$(cat "$work/window.rc" 2>/dev/null)"
check_installed "installed from its window"
check "installed from its window: velmon started" "by the explorer.exe the setup asked" \
  "$(velmon_route "$work/window.trace")"
# The setup's own lines; nothing of velsvc's console text. An update shows
# the same lines after its own two.
install_details='Output folder: C:\Program Files\Velmora
Extract: velsvc.exe
Extract: velmon.exe
Extract: velpanel.exe
Extract: velmora.chm
Created uninstaller: C:\Program Files\Velmora\uninstall.exe
Create shortcut: C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Velmora Monitor.lnk
Create shortcut: C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Velmora Control Panel.lnk
Create shortcut: C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Velmora Help.lnk
Installing and starting the Velmora Service...
The Velmora Service is installed and running.
Starting the tray monitor...
Execute: "C:\windows\explorer.exe" "C:\Program Files\Velmora\velmon.exe"
Completed'
check "window: the details of a first installation" \
  "$(printf '%s\n' "$install_details" | cut -c1-80)" "$(details "$work/window.trace")"

velmon_before=$(velmon_pids)
start_setup "window-update"
check "window: the welcome page of an update" \
  "Setup will update the installed Velmora to version 1.0.0.

The Velmora Service and the tray monitor are stopped while their files are replaced, and started again afterwards.

Click Next to continue." "$(click_through_setup window-update)"
check "window: the update exits with 0" "0" "$(cat "$work/window-update.rc" 2>/dev/null)"
check_installed "updated from its window"
check_that "updated from its window: the earlier velmon has ended" test ! -e "/proc/${velmon_before:-0}"
check "window: the details of an update" \
  "$(printf '%s\n' 'Stopping the Velmora Service...' 'Ending the tray monitor...' "$install_details" |
    cut -c1-80)" "$(details "$work/window-update.trace")"

# The uninstaller from the list of installed programs: it copies itself to the
# temporary folder, starts the copy and ends at once; the copy shows the
# confirmation page, then asks about the settings. "No" removes them.
uninstall_line=$(regvalue "$uninstall_key" UninstallString)
printf '%s\r\n' "${uninstall_line#REG_SZ }" >"$WINEPREFIX/drive_c/uninstall-line.bat"
WINEDEBUG=+listview pinned wine cmd /c 'C:\uninstall-line.bat' </dev/null >"$work/uninstall.trace" 2>&1
mapfile -t lines < <(panel wait "Velmora Uninstall " text 1 press 1)
check "uninstall window: the confirmation page" $'found\n&Uninstall\nok' "$(printf '%s\n' "${lines[@]}")"
mapfile -t lines < <(panel wait "Velmora Uninstall" text 65535 text 6 text 7 press 7 gone)
check "uninstall window: the question" \
  $'found\nKeep Velmora\'s settings (the ten values under HKLM\\SOFTWARE\\Quorlex\\Velmora) for a later installation?\n&Yes\n&No\nok\ngone' \
  "$(printf '%s\n' "${lines[@]}")"
check_that "uninstall window: done" poll 60 details_completed "$work/uninstall.trace"
mapfile -t lines < <(panel wait "Velmora Uninstall " press 1 gone)
check "uninstall window: closed" $'found\nok\ngone' "$(printf '%s\n' "${lines[@]}")"
check_that "uninstall window: the uninstaller's copy ends" poll 60 uninstaller_done
check_uninstalled "uninstalled from its window"
check "uninstalled from its window: no settings" "absent" "$(regnames "$settings_key")"
check "uninstall window: the details" "$(printf '%s\n' 'Stopping the Velmora Service...
Removing the Velmora Service...
The Velmora Service is removed.
Ending the tray monitor...
Delete file: C:\Program Files\Velmora\velsvc.exe
Delete file: C:\Program Files\Velmora\velmon.exe
Delete file: C:\Program Files\Velmora\velpanel.exe
Delete file: C:\Program Files\Velmora\velmora.chm
Delete file: C:\Program Files\Velmora\uninstall.exe
Remove folder: C:\Program Files\Velmora\
Delete file: C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Velmora Monitor.lnk
Delete file: C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Velmora Control Panel.lnk
Delete file: C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Velmora Help.lnk
Removing the settings...
Completed' | cut -c1-80)" "$(details "$work/uninstall.trace")"

# ---- A folder outside Program Files ----------------------------------------------------

# The command lines of the icacls runs in a trace of process creations, without
# Wine's escapes (nsExec's helper, which starts icacls, is left out).
icacls_runs() {  # icacls_runs TRACE
  grep -a ':trace:process:CreateProcessInternalW .*icacls\.exe' "$1" |
    sed -E 's/.* cmdline L"(.*)", current directory.*/\1/; s/.* cmdline L"(.*)"$/\1/; s/\\(.)/\1/g' |
    grep -a '^"[^"]*\\icacls\.exe"'
}
check "Program Files: its protection is left as it is" "" "$(icacls_runs "$work/install.trace")"

# Wine's icacls is a stub: it accepts every argument and changes nothing, so
# the access list itself cannot be read back. What shows is that the setup ran
# it on the chosen folder with the protection Program Files gives: inheritance
# cut, Administrators and SYSTEM full control, Users read and execute, by SID.
win reg add "$settings_key" /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
custom="$WINEPREFIX/drive_c/Tools/Velmora"
check "custom folder: setup /S /D= exits with 0" "0" "$(run_setup custom /S '/D=C:\Tools\Velmora')"
check "custom folder: the files" \
  $'uninstall.exe\nvelmon.exe\nvelmora.chm\nvelpanel.exe\nvelsvc.exe' "$(ls "$custom" 2>&1)"
check "custom folder: the service runs" "4" "$(probe state | cut -d' ' -f1)"
check "custom folder: icacls ran on it" \
  '"C:\windows\system32\icacls.exe" "C:\Tools\Velmora" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX' \
  "$(icacls_runs "$work/custom.trace")"
custom_velmon_runs() { programs | grep -qF 'C:\Tools\Velmora\velmon.exe'; }
custom_velmon_gone() { ! custom_velmon_runs; }
check_that "custom folder: velmon runs" poll 30 custom_velmon_runs
mkdir -p "$WINEPREFIX/drive_c/uninstaller"
cp "$custom/uninstall.exe" "$WINEPREFIX/drive_c/uninstaller/uninstall.exe"
check "custom folder: uninstall exits with 0" "0" \
  "$(run_line 'C:\uninstaller\uninstall.exe /S /REMOVESETTINGS _?=C:\Tools\Velmora')"
check "custom folder: the service is gone" "absent" "$(probe state)"
check_that "custom folder: velmon has ended" poll 10 custom_velmon_gone
check "custom folder: the folder is gone" "absent" "$([ -e "$custom" ] && echo present || echo absent)"
rm -rf "$WINEPREFIX/drive_c/uninstaller"

# ---- The end ------------------------------------------------------------------------

xvfb_pid=$desktop_xvfb
cleanup
check "no Wine process of the prefix left" "0" "$(prefix_pids | wc -l)"
check_that "Xvfb ended" test ! -e "/proc/$xvfb_pid"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
