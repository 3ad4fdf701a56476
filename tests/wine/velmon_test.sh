#!/usr/bin/env bash
# velmon under Wine, as a user sees it: its icon in the taskbar of a Wine
# desktop on a virtual display of its own, the busy picture during a squeeze,
# a single instance, the autostart value, the menu commands and both ways out.
#
#   velmon_test.sh VELMON.EXE TRAY_PROBE.EXE VELSVC.EXE SVC_PROBE.EXE
#
# The available memory that Wine reports is pinned for velmon's process tree by
# a private /proc/meminfo (a mount namespace of its own), so that the number in
# the icon is known and a boost squeezes only a few hundred MB. Wine still
# takes the total from the host. The screenshots are kept beside velmon.exe:
# velmon-tray.png, velmon-tray-8x.png, velmon-tray-busy-8x.png, with 23,451 MB
# available velmon-tray-23g-8x.png, and at 144 DPI velmon-tray-144dpi-8x.png.
set -u
velmon_exe=$1
probe_exe=$2
velsvc_exe=$3
svc_probe_exe=$4
out_dir="$(cd "$(dirname "$velmon_exe")" && pwd)"
# The prefix's first programs must not bind to a display: the desktop of this
# test is started later, on its own display.
unset DISPLAY
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/desktop.sh"

velmon_pid=""
cleanup() {
  # velmon's messages are kept beside the screenshots when a check failed.
  if [ "$failed" -gt 0 ] && [ -d "${work:-}" ]; then
    mkdir -p "$out_dir/velmon-wine-logs"
    cp "$work"/*.err "$work"/*.out "$out_dir/velmon-wine-logs/" 2>/dev/null
    echo "velmon's messages: $out_dir/velmon-wine-logs"
  fi
  prefix_end
  desktop_end
  rm -rf "${work:-}"
}

prefix_begin wine-prefix-velmon
trap cleanup EXIT
work="$(mktemp -d)"

# ---- The desktop -------------------------------------------------------------

# Every program of the prefix runs in the desktop "shell" (the prefix's default
# desktop from here on), started here before any program needs it; velmon
# itself is started with plain "wine", so that its exit code is wine's.
desktop_begin "$work" || give_up "Xvfb did not start"

# The desktop is done when two screenshots of its taskbar in a row agree.
taskbar_steady() {
  shot "$work/now.png" || return 1
  taskbar "$work/now.png" >"$work/taskbar-now.txt"
  cmp -s "$work/taskbar-now.txt" "$work/empty-taskbar.txt" && return 0
  mv "$work/taskbar-now.txt" "$work/empty-taskbar.txt"
  return 1
}
poll 30 taskbar_shown || give_up "the desktop's taskbar did not appear"
# What the taskbar shows without velmon.
: >"$work/empty-taskbar.txt"
poll 30 taskbar_steady || give_up "the desktop's taskbar does not settle"

# ---- Programs and probes in the prefix ------------------------------------------

# A folder with a blank, so that the autostart value must be quoted.
folder="$WINEPREFIX/drive_c/Program Files/Velmora Test"
mkdir -p "$folder"
cp "$velmon_exe" "$folder/velmon.exe"
cp "$velsvc_exe" "$folder/velsvc.exe"
cp "$probe_exe" "$WINEPREFIX/drive_c/tray_probe.exe"
cp "$svc_probe_exe" "$WINEPREFIX/drive_c/svc_probe.exe"
velmon='C:\Program Files\Velmora Test\velmon.exe'
velsvc='C:\Program Files\Velmora Test\velsvc.exe'
probe() { win 'C:\tray_probe.exe' "$@"; }
svc_probe() { win 'C:\svc_probe.exe' "$@"; }

# The pinned memory: 400 MB available and a small page file. A boost at this
# load empties the cache and squeezes half of (available + free page file),
# some 430 MB, never a large part of the host's memory.
pin_memory "$work/meminfo"
read -r load total_mb avail_mb page_mb < <(pinned wine 'C:\tray_probe.exe' memory </dev/null 2>/dev/null |
  sed 's/\r$//')
echo "pinned memory as Wine reports it: load ${load:-?}%, total ${total_mb:-?} MB," \
  "available ${avail_mb:-?} MB, free page file ${page_mb:-?} MB"
[ "${avail_mb:-}" == "400" ] || give_up "the available memory cannot be pinned at 400 MB"
passed=$((passed + 1))

# velmon with the pinned memory, in the background; its Wine messages say which
# programs it starts (trace+process), every call of the cache setting stub
# (fixme+ntdll), and the arguments of its calls of ChangeWindowMessageFilterEx
# and CreateProcessW (relay, for those two only).
win reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
  /d 'user32.ChangeWindowMessageFilterEx;kernel32.CreateProcessW' /f >/dev/null
# Task Manager is a stand-in that leaves a mark and ends at once: the probe,
# run without arguments as taskmgr.exe. What is checked is which program velmon
# starts, not Wine's own Task Manager, the only program of this test with a
# visible window: twice, in runs of the whole test command, neither its window
# nor velmon's could be found any more once it had been started. velmon's
# children inherit the override that loads the stand-in instead of Wine's.
cp "$probe_exe" "$WINEPREFIX/drive_c/windows/system32/taskmgr.exe"
velmon_err="$work/velmon-1.err"
start_velmon() {  # start_velmon LOGNAME
  velmon_err="$work/$1.err"
  # unshare itself, not a shell function: the process id is velmon's.
  WINEDEBUG=-all,fixme+ntdll,trace+process,+relay WINEDLLOVERRIDES="$WINEDLLOVERRIDES;taskmgr.exe=n" \
    unshare -m bash -c "$mount_meminfo" "$pinned_meminfo" wine "$velmon" \
    </dev/null >"$work/$1.out" 2>"$velmon_err" &
  velmon_pid=$!
}
# Sets $code to the exit code of this shell's child PID once it has ended
# (bounded), or to "running". Not in a subshell: only this shell can wait.
exit_code() {  # exit_code PID SECONDS
  local pid=$1
  ended() { ! kill -0 "$pid" 2>/dev/null; }
  if poll "$2" ended; then
    wait "$pid"
    code=$?
  else
    code="running"
  fi
}

# Where the icon dump DUMP matches the screenshot PNG in the notification area
# (x 600 to 799 of the taskbar's bottom 28 rows, which hold it at 96 and at
# 144 DPI): "X Y" of each match, or nothing. The icon's size is the dump's.
find_icon() {  # find_icon DUMP PNG
  pixels "$2" 200x28+600+572 | awk '
    FNR == NR {
      n++; ix[n] = $1; iy[n] = $2; ic[n] = toupper($3)
      if ($1 + 1 > s) s = $1 + 1
      if ($2 + 1 > s) s = $2 + 1
      next
    }
    {
      split($1, xy, /[,:]/)
      hex = $0; sub(/.*#/, "", hex); hex = substr(hex, 1, 6)
      px[xy[1] "," xy[2]] = hex
      if (xy[1] + 1 > w) w = xy[1] + 1
      if (xy[2] + 1 > h) h = xy[2] + 1
    }
    END {
      if (n == 0) exit
      for (oy = 0; oy + s <= h; oy++)
        for (ox = 0; ox + s <= w; ox++) {
          ok = 1
          for (i = 1; i <= n && ok; i++)
            if (px[(ox + ix[i]) "," (oy + iy[i])] != ic[i]) ok = 0
          if (ok) print ox + 600, oy + 572
        }
    }' "$1" -
}
icon_shown() {  # icon_shown DUMP: a fresh screenshot shows it; the place in $icon_at
  shot "$work/now.png" || return 1
  icon_at=$(find_icon "$1" "$work/now.png" | head -n 1)
  [ -n "$icon_at" ]
}
taskbar_is() {  # taskbar_is TEXTFILE: a fresh screenshot's taskbar equals it
  shot "$work/now.png" && cmp -s "$1" <(taskbar "$work/now.png")
}
scaled_tray() {  # scaled_tray PNG OUT [ROWS]: the notification area's right end, 8 times
  local rows=${3:-20}
  convert "$1" -crop "64x$rows+736+$((600 - rows))" +repage -filter point -scale 800% "$2" 2>/dev/null
}

# The icons velmon can show: the number for the pinned memory, drawn by the
# renderer with velmon's own base icon, and velmon's busy picture.
probe render "$avail_mb" "$total_mb" "$velmon" >"$work/number.txt"
probe busy "$velmon" >"$work/busy.txt"
check_that "the renderer draws an icon for $avail_mb MB" test -s "$work/number.txt"
check_that "the busy picture loads" test -s "$work/busy.txt"

# ---- The service that the Enable item switches -------------------------------------

# The service's first tick would start its periodic boost, which squeezes most
# of this machine's memory: with AutoOptHour 30000 that comes only after 20000
# maintenance rounds, long after this test.
win "$velsvc" -install >/dev/null
win reg add 'HKLM\SOFTWARE\Quorlex\Velmora' /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
win "$velsvc" -start >/dev/null
service_is() {  # service_is STATE MUTEX: "4 1024" exists, "1 2048" absent, ...
  [ "$(svc_probe state)" == "$1" ] && [ "$(svc_probe mutex)" == "$2" ]
}
check_that "service running before velmon starts" poll 30 service_is "4 1024" exists

# ---- a. The icon in the taskbar ---------------------------------------------------------

win reg delete 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v Velmora /f >/dev/null 2>&1
check "no autostart value before velmon runs" "absent" "$(probe autostart)"

start_velmon velmon-1
icon_at=""
check_that "the tray icon shows the renderer's icon for $avail_mb MB" poll 60 icon_shown "$work/number.txt"
echo "velmon's icon found at ${icon_at:-nowhere} of the screen"
cp "$work/now.png" "$out_dir/velmon-tray.png"
scaled_tray "$work/now.png" "$out_dir/velmon-tray-8x.png"
echo "screenshot: $out_dir/velmon-tray.png, the tray 8 times: $out_dir/velmon-tray-8x.png"
check "one tray window" "1" "$(probe windows)"
# The shell's tooltips, read back: the tip carries the exact figure. Wine's
# shell keeps the tools of icons removed earlier, so the tip is looked for
# among them.
tips() { probe tool-texts | grep '^Velmora'; }
tip_shown() { tips | grep -qxF "$1"; }
tip="Velmora: $avail_mb MB available ($load% in use)"
poll 20 tip_shown "$tip"
check "the tip shows the exact figure" "$tip" "$(tips | grep -xF "$tip")"

# The hidden window lets in the shell's restart broadcast and the icon's
# notify message, as an elevated velmon needs. Wine filters nothing: only the
# calls show.
read -r taskbar_created notify_message < <(probe messages)
filter_calls=$(grep -F 'Call user32.ChangeWindowMessageFilterEx(' "$velmon_err" |
  sed 's/.*ChangeWindowMessageFilterEx(\([^)]*\)).*/\1/')
tray_window=$(printf '%s\n' "$filter_calls" | head -n 1 | cut -d, -f1)
check "messages let in: TaskbarCreated and the notify message, MSGFLT_ALLOW" \
  "$tray_window,$taskbar_created,00000001,00000000"$'\n'"$tray_window,$notify_message,00000001,00000000" \
  "$filter_calls"

# ---- b. The busy picture while a squeeze runs ------------------------------------------------

rm -f "$WINEPREFIX/drive_c/velmon-test-release"
wine 'C:\tray_probe.exe' hold-squeeze 'C:\velmon-test-release' </dev/null >"$work/hold.out" 2>/dev/null &
holder_pid=$!
holding() { grep -q 'held' "$work/hold.out"; }
check_that "the probe holds the squeeze mutex" poll 30 holding
check_that "the busy picture replaces the number while the mutex is held" poll 20 icon_shown "$work/busy.txt"
scaled_tray "$work/now.png" "$out_dir/velmon-tray-busy-8x.png"
touch "$WINEPREFIX/drive_c/velmon-test-release"
exit_code "$holder_pid" 30
check "the probe releases the squeeze mutex" "0" "$code"
check_that "the number returns after the release" poll 20 icon_shown "$work/number.txt"

# ---- c. A second instance ---------------------------------------------------------------------

taskbar "$work/now.png" >"$work/one-icon-taskbar.txt"
wine "$velmon" </dev/null >/dev/null 2>&1 &
second_pid=$!
exit_code "$second_pid" 60
check "a second velmon exits with 0" "0" "$code"
check "still one tray window" "1" "$(probe windows)"
check_that "the first velmon still runs" kill -0 "$velmon_pid"
check_that "the second velmon added no icon" taskbar_is "$work/one-icon-taskbar.txt"

# ---- d. The autostart value ----------------------------------------------------------------------

quoted="\"$velmon\""
check "autostart value: REG_SZ, quoted path, size with quotes and zero" \
  "1 $(((${#quoted} + 1) * 2)) $quoted" "$(probe autostart)"

# ---- f. Menu commands --------------------------------------------------------------------------

stub_calls() { grep -c 'fixme:ntdll:NtSetSystemInformation (0x00000015,' "$velmon_err"; }

# Empty System Cache: four calls of the cache setting, all made before the
# command returns.
before=$(stub_calls)
check "command 40009 is handled" "sent" "$(probe send 40009)"
check "40009 sets the file cache four times" "4" "$(($(stub_calls) - before))"

# Boost Memory Now at this load: the cache emptying of the top bands, then a
# squeeze in velmon's own process, seen in its peak resident memory. Both
# squeeze requests ask for half the spare memory when the spare is this small,
# each kept to half of the commit still available (the free page file), and
# whichever worker wins squeezes that much once at a time.
spare=$((avail_mb + page_mb))
if [ "$load" -ge 81 ]; then
  first=$((total_mb / 3)) second=$((total_mb >> 1))
elif [ "$load" -ge 54 ]; then
  first=$((total_mb >> 1)) second=$first
else
  first=0 second=0  # the lower bands squeeze without the cap: not run here
fi
[ "$first" -gt "$spare" ] && first=$((spare >> 1))
[ "$second" -gt "$spare" ] && second=$((spare >> 1))
[ "$first" -gt $((page_mb >> 1)) ] && first=$((page_mb >> 1))
[ "$second" -gt $((page_mb >> 1)) ] && second=$((page_mb >> 1))
peak_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$velmon_pid/status"; }
resident_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$velmon_pid/status"; }
if [ "$first" -eq 0 ] || [ "$first" -gt 1024 ] || [ "$second" -gt 1024 ]; then
  check "the pinned memory keeps a boost small (load $load, spare $spare MB)" "small" "large"
else
  low=$(((first < second ? first : second) * 1024 * 3 / 4))
  high=$(((first > second ? first : second) * 1024 + 65536))
  peak_before=$(peak_kb)
  resident_before=$(resident_kb)
  before=$(stub_calls)
  check "command 40008 is handled" "sent" "$(probe send 40008)"
  check "40008 empties the cache first at load $load" "4" "$(($(stub_calls) - before))"
  # Done when the peak has risen and the blocks are given back again.
  squeezed() {
    [ $(($(peak_kb) - peak_before)) -ge "$low" ] &&
      [ "$(resident_kb)" -lt $((resident_before + 65536)) ]
  }
  poll 30 squeezed
  rise=$(($(peak_kb) - peak_before))
  echo "the boost asked for $first MB (then $second MB); velmon's peak memory rose by $((rise / 1024)) MB"
  check_that "40008 squeezes about $first MB in velmon" test "$rise" -ge "$low" -a "$rise" -le "$high"
  check_that "the number returns after the boost" poll 30 icon_shown "$work/number.txt"
fi

# Task Manager: by its full path in the system folder, never by a bare name
# that velmon's folder and the current folder are searched for first.
taskmgr_line() {
  grep -F 'trace:process:CreateProcessInternalW' "$velmon_err" | grep -iF 'taskmgr' |
    tail -n 1 | sed 's/.*CreateProcessInternalW //'
}
taskmgr_ended() { [ -e "$WINEPREFIX/drive_c/taskmgr-started" ] && ! programs | grep -qiF taskmgr; }
check "command 40007 is handled" "sent" "$(probe send 40007)"
check "40007 starts Task Manager by its full path" \
  'app (null) cmdline L"\"C:\\windows\\system32\\taskmgr.exe\""' "$(taskmgr_line)"
check_that "the stand-in for Task Manager has run and ended" poll 30 taskmgr_ended
# The commands below are sent to velmon's window: without it they cannot run.
if [ "$(probe windows)" != "1" ]; then
  # velmon is this shell's child: ended but not yet waited for, it is a zombie.
  case "$(awk '{ print $3 }' "/proc/$velmon_pid/stat" 2>/dev/null)" in
    "" | Z) velmon_state="has ended" ;;
    *) velmon_state="runs" ;;
  esac
  programs | grep -qF 'desktop=shell' && shell_state="runs" || shell_state="has ended"
  give_up "velmon's window is gone after Task Manager (velmon $velmon_state, the desktop $shell_state)"
fi

# Enable Velmora: velmon starts net.exe from the system folder with START or
# STOP, waits for it and for the service's new state, and sets the mark from
# the service's presence mutex.
net_line() {  # the application and command line of the last net.exe velmon started
  grep -F 'trace:process:CreateProcessInternalW app L"C:\\windows\\system32\\net.exe' "$velmon_err" |
    tail -n 1 | sed 's/.*CreateProcessInternalW //'
}
net_stop='app L"C:\\windows\\system32\\net.exe " cmdline L" STOP \"Velmora Service\" "'
net_start='app L"C:\\windows\\system32\\net.exe " cmdline L" START \"Velmora Service\" "'
# bInheritHandles of every CreateProcessW of net.exe, the low 32 bits of the
# argument as relay shows it.
net_inherits() {
  grep -F 'Call KERNEL32.CreateProcessW(' "$velmon_err" | grep -F 'net.exe' |
    awk -F, '{ v = $5; print substr(v, length(v) - 7) }' | sort -u
}
# The balloon velmon shows when the service did not change, read from the
# shell's tooltip windows.
stop_refused="Stopping the Velmora Service needs administrator rights."
start_refused="Starting the Velmora Service needs administrator rights."
balloon_shows() { probe tool-texts | grep -qxF "$1"; }
no_balloon() { ! probe tool-texts | grep -qF "needs administrator rights"; }

# A service probe also runs every twelve ticks (2.4 s); a change made from
# outside is in the mark after it.
probe_period() { sleep 5; }

check "40006 is handled (mark set)" "sent" "$(probe send 40006)"
check "40006 with the mark set starts net.exe with STOP" "$net_stop" "$(net_line)"
check_that "net.exe stops the service, its mutex goes" poll 30 service_is "1 2048" absent
probe_period
check_that "no balloon after a switch that worked" no_balloon

check "40006 is handled (mark clear)" "sent" "$(probe send 40006)"
check "40006 with the mark clear starts net.exe with START" "$net_start" "$(net_line)"
check_that "net.exe starts the service, its mutex is back" poll 30 service_is "4 1024" exists
probe_period

# Stopped from outside, the service's mutex goes; the next probe clears the
# mark, so the next toggle starts the service again instead of stopping it.
win "$velsvc" -stop >/dev/null
check_that "velsvc -stop stops the service" poll 30 service_is "1 2048" absent
probe_period
check "40006 is handled (after the outside stop)" "sent" "$(probe send 40006)"
check "the mark followed the mutex: START" "$net_start" "$(net_line)"
check_that "the service runs again" poll 30 service_is "4 1024" exists
check "net.exe inherits none of velmon's handles" "00000000" "$(net_inherits)"

# A switch that leaves the service as it was: what a user without
# administrator rights meets (net.exe is refused). Here net.exe fails because
# the service is not there to stop or start. The mark stays, so that the next
# choice asks for the same again, and a balloon says why.
win "$velsvc" -stop >/dev/null
check_that "velsvc -stop stops the service again" poll 30 service_is "1 2048" absent
rm -f "$WINEPREFIX/drive_c/velmon-test-release"
# Someone holds the presence mutex: velmon takes the stopped service as running.
wine 'C:\tray_probe.exe' hold-presence 'C:\velmon-test-release' </dev/null >"$work/hold.out" 2>/dev/null &
holder_pid=$!
check_that "the probe holds the presence mutex" poll 30 holding
probe_period
check "40006 is handled (stop fails)" "sent" "$(probe send 40006)"
check "40006 starts net.exe with STOP" "$net_stop" "$(net_line)"
check "40006 at once again (the mark stayed set): STOP again" "sent $net_stop" \
  "$(probe send 40006) $(net_line)"
check_that "a balloon: $stop_refused" poll 20 balloon_shows "$stop_refused"
touch "$WINEPREFIX/drive_c/velmon-test-release"
exit_code "$holder_pid" 30
check "the probe releases the presence mutex" "0" "$code"
# Every run of velsvc holds the presence mutex while it runs: the removal comes
# before the probe that the mark is to follow.
win "$velsvc" -remove >/dev/null
probe_period
check "40006 is handled (start fails)" "sent" "$(probe send 40006)"
check "40006 starts net.exe with START" "$net_start" "$(net_line)"
check "40006 at once again (the mark stayed clear): START again" "sent $net_start" \
  "$(probe send 40006) $(net_line)"
check_that "a balloon: $start_refused" poll 20 balloon_shows "$start_refused"
win "$velsvc" -install >/dev/null

# ---- e. WM_CLOSE -------------------------------------------------------------------------------------

check "WM_CLOSE is handled" "sent" "$(probe close)"
exit_code "$velmon_pid" 30
check "velmon ends with 0 after WM_CLOSE" "0" "$code"
check_that "WM_CLOSE removes the icon" poll 20 taskbar_is "$work/empty-taskbar.txt"
check "no tray window left" "0" "$(probe windows)"

# ---- g. Exit Monitor -------------------------------------------------------------------------------

start_velmon velmon-2
check_that "a new velmon shows its icon" poll 60 icon_shown "$work/number.txt"
check "command 40005 is handled" "sent" "$(probe send 40005)"
exit_code "$velmon_pid" 30
check "velmon ends with 0 after Exit Monitor" "0" "$code"
check_that "Exit Monitor removes the icon" poll 20 taskbar_is "$work/empty-taskbar.txt"

# ---- h. From 10,000 MB on: whole GiB in the label, the exact figure in the tip ---------------

pin_memory "$work/meminfo-23g" 23451
read -r load_23g _ avail_23g _ < <(pinned wine 'C:\tray_probe.exe' memory </dev/null 2>/dev/null |
  sed 's/\r$//')
check "the available memory can be pinned at 23,451 MB" "23451" "${avail_23g:-?}"
if [ "${avail_23g:-}" == "23451" ]; then
  probe render 23451 "$total_mb" "$velmon" >"$work/number-23g.txt"
  start_velmon velmon-3
  check_that "the tray icon shows the renderer's 23G" poll 60 icon_shown "$work/number-23g.txt"
  scaled_tray "$work/now.png" "$out_dir/velmon-tray-23g-8x.png"
  echo "screenshot of 23,451 MB available, 8 times: $out_dir/velmon-tray-23g-8x.png"
  tip="Velmora: 23,451 MB available ($load_23g% in use)"
  poll 20 tip_shown "$tip"
  check "the tip shows 23,451 MB" "$tip" "$(tips | grep -xF "$tip")"
  check "WM_CLOSE is handled (23G)" "sent" "$(probe close)"
  exit_code "$velmon_pid" 30
  check "velmon ends with 0 (23G)" "0" "$code"
fi

# ---- The end of the first desktop -----------------------------------------------------------------

win "$velsvc" -remove >/dev/null
check "service removed" "absent" "$(svc_probe state)"

end_desktop() {  # ends the prefix's processes and the desktop's Xvfb, and checks both
  local xvfb_pid=$desktop_xvfb
  prefix_end
  desktop_end
  check "no Wine process of the prefix left" "0" "$(prefix_pids | wc -l)"
  check_that "Xvfb ended" test ! -e "/proc/$xvfb_pid"
}
end_desktop

# ---- i. At 144 DPI -----------------------------------------------------------------------------------

# The shell and velmon read the DPI when they start: a prefix and a desktop of
# their own, with 144 DPI from the start. The notification area then draws its
# icons 24 pixels square; velmon draws its own at that size.
prefix_begin wine-prefix-velmon-dpi
trap cleanup EXIT
win reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
desktop_begin "$work" || give_up "Xvfb did not start (144 DPI)"
poll 30 taskbar_shown || give_up "the desktop's taskbar did not appear (144 DPI)"
folder="$WINEPREFIX/drive_c/Program Files/Velmora Test"
mkdir -p "$folder"
cp "$velmon_exe" "$folder/velmon.exe"
cp "$probe_exe" "$WINEPREFIX/drive_c/tray_probe.exe"
probe render "$avail_mb" "$total_mb" "$velmon" >"$work/number-24-whole.txt"
probe render "$avail_mb" "$total_mb" "$velmon" 16 >"$work/number-16-at-144.txt"
dump_size() { awk '{ if ($1 >= s) s = $1 + 1; if ($2 >= s) s = $2 + 1 } END { print s }' "$1"; }
check "the renderer's icon at 144 DPI is 24 pixels square" "24" \
  "$(dump_size "$work/number-24-whole.txt")"
# Wine's shell32 hands an icon to the shell with a mask of width x height bits
# and no row padding: of a 24-pixel icon's mask, whose rows are padded to four
# bytes, only the first 18 rows arrive, and the shell shows the bar below them
# inverted. So only the label is looked for here; the renderer's test checks
# the bar of a 24-pixel icon.
awk '$2 < 18' "$work/number-24-whole.txt" >"$work/number-24.txt"

pin_memory "$work/meminfo"
start_velmon velmon-dpi
check_that "at 144 DPI the tray shows velmon's icon drawn 24 pixels square" \
  poll 60 icon_shown "$work/number-24.txt"
echo "velmon's icon at 144 DPI found at ${icon_at:-nowhere} of the screen"
scaled_tray "$work/now.png" "$out_dir/velmon-tray-144dpi-8x.png" 28
echo "screenshot at 144 DPI, the tray 8 times: $out_dir/velmon-tray-144dpi-8x.png"
# Wine never sends WM_DPICHANGED; sent here, it makes velmon draw for the DPI
# it names. For 96 DPI the icon is 16 pixels square again, which this shell
# scales up to its 24.
check "WM_DPICHANGED for 96 DPI is handled" "sent" "$(probe dpi 96)"
check_that "for 96 DPI velmon draws its 16-pixel icon" poll 20 icon_shown "$work/number-16-at-144.txt"
check "WM_DPICHANGED for 144 DPI is handled" "sent" "$(probe dpi 144)"
check_that "for 144 DPI it draws 24 pixels square again" poll 20 icon_shown "$work/number-24.txt"
check "WM_CLOSE is handled (144 DPI)" "sent" "$(probe close)"
exit_code "$velmon_pid" 30
check "velmon ends with 0 (144 DPI)" "0" "$code"

# ---- The end --------------------------------------------------------------------------------------

end_desktop

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
