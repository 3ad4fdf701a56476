#!/usr/bin/env bash
# velpanel under Wine as a user sees it, in a 1366x768 Wine desktop at 96 and
# at 144 DPI: the grouped settings with their controls, the value Group Policy
# locks, a value beyond the panel's limits, a refused value with its whole
# message, the folded compatibility values, the chart of a pinned memory figure
# drawn where it belongs, the service stopped and started from the panel (at
# once, and through velpanel started elevated for a limited token), the
# question on closing over unapplied edits, and the edits carried to the
# panel that starts again as an administrator. Every static text is measured
# against its rectangle by velpanel itself (its hidden "test-report" parameter),
# and panel_probe checks from outside that every control lies in the window and
# the window on the screen.
#
#   panel_test.sh VELPANEL.EXE PANEL_PROBE.EXE VELSVC.EXE
#
# The screenshots are kept beside velpanel.exe: velpanel-96.png and
# velpanel-144.png (the whole window, Advanced folded), and for each DPI
# velpanel-refused-, velpanel-locked-, velpanel-advanced- and velpanel-chart-.
set -u
panel_exe=$1
probe_exe=$2
velsvc_exe=$3
out_dir="$(cd "$(dirname "$panel_exe")" && pwd)"
# The prefix's first programs must not bind to a display: the desktop of this
# test is started later, on its own display.
unset DISPLAY
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/desktop.sh"

cleanup() {
  prefix_end
  desktop_end
  rm -rf "${work:-}"
}

prefix_begin wine-prefix-panel
trap cleanup EXIT
work="$(mktemp -d)"

folder="$WINEPREFIX/drive_c/Program Files/Velmora Panel"
mkdir -p "$folder"
cp "$panel_exe" "$folder/velpanel.exe"
cp "$velsvc_exe" "$folder/velsvc.exe"
cp "$probe_exe" "$WINEPREFIX/drive_c/panel_probe.exe"
panel='C:\Program Files\Velmora Panel\velpanel.exe'
velsvc='C:\Program Files\Velmora Panel\velsvc.exe'
report='C:\panel-report.txt'
probe() { win 'C:\panel_probe.exe' "$@"; }
settings_key='HKLM\SOFTWARE\Quorlex\Velmora'
policies_key='HKLM\SOFTWARE\Policies\Quorlex\Velmora'
dword() {  # dword NAME: the settings' DWORD value NAME in hexadecimal, or nothing
  win reg query "$settings_key" /v "$1" 2>/dev/null | awk -v name="$1" '$1 == name { print $3 }'
}

# ---- The machine ---------------------------------------------------------------

# The available memory velpanel sees, pinned in a private /proc/meminfo that
# the test rewrites in place (the total still comes from the host).
pinned_meminfo="$work/meminfo"
available() {  # available MB, of this machine's whole memory
  pin_memory "$pinned_meminfo" "$1" "$(awk '/^MemTotal:/ { print $2 }' /proc/meminfo)"
}
available 12000

# The service's first tick would start its periodic boost, which squeezes most
# of this machine's memory: with AutoOptHour 30000 (a value beyond what the
# panel offers) it comes only after 20000 maintenance rounds. BasedOnRam is set
# by Group Policy.
win reg add "$settings_key" /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
win reg add "$policies_key" /v BasedOnRam /t REG_DWORD /d 60 /f >/dev/null
check "the service runs" "Service sucessfully installed and running..." \
  "$(win "$velsvc" -start | tail -n 1)"

desktop_begin "$work" 1366x768 || give_up "Xvfb did not start"

# velpanel with the pinned memory, in the background; $panel_pid is its process.
start_panel() {  # start_panel ARGUMENT...
  unshare -m bash -c "$mount_meminfo" "$pinned_meminfo" wine "$panel" "$@" \
    </dev/null >>"$work/panel.out" 2>&1 &
  panel_pid=$!
}
# Sets $code to the panel's exit code once it has ended (bounded), or "running".
panel_exit() {
  ended() { ! kill -0 "$panel_pid" 2>/dev/null; }
  if poll 20 ended; then
    wait "$panel_pid"
    code=$?
  else
    code="running"
  fi
}
report_says() {  # report_says KEY: the value of the report's line KEY
  probe layout "$report" | awk -v key="$1" '$1 == key { $1 = ""; sub(/^ /, ""); print }'
}
# No text is cut and no control lies outside the window, nor the window off the screen.
check_layout() {  # check_layout WHEN
  check "$1: every text fits" "0" "$(report_says problems)"
  check "$1: every control in the window" $'found\ninside' "$(probe inside)"
}
# A screenshot of the panel, or of one of its controls: crop FILE [ID...]
crop() {
  local file=$1 rect
  shift
  shot "$work/shot.png"
  if [ $# -eq 0 ]; then
    rect=$(probe frame | tail -n 1)
  else
    # The rectangle around the controls given.
    local steps=() id
    for id in "$@"; do
      steps+=(rect "$id")
    done
    rect=$(probe "${steps[@]}" | tail -n +2 | awk 'NR == 1 { l = $1; t = $2; r = $3; b = $4 }
      { if ($1 < l) l = $1; if ($2 < t) t = $2; if ($3 > r) r = $3; if ($4 > b) b = $4 }
      END { print l - 4, t - 4, r + 4, b + 4 }')
  fi
  read -r left top right bottom <<<"$rect"
  convert "$work/shot.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$out_dir/$file" 2>/dev/null
  check_that "$file saved" test -s "$out_dir/$file"
}

# ---- The panel at each DPI -------------------------------------------------------

# Ids of panel/resources/resource.h: setting i has its control at 1200 + i, its
# remark at 1300, its message at 1400, its meaning at 1500, its lock at 1800;
# the settings key's order is Settings 0, MemoryZipperPlus 1, RamAvailable 2,
# AutoOptHour 3, IsAutoOptHour 4, DataSafe 5, CacheUsage 6, MaxCacheSize 7,
# BasedOnRam 8, CacheCheck 9. 1001 is the banner, 1002 Apply, 1003 the
# result, 1004 the service line, 1020 Advanced, 1023 the service's button,
# 1024 the chart, 1025 Change settings..., 2 Close.
check_panel_at() {  # check_panel_at DPI
  local dpi=$1 lines
  win reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  start_panel test-report "$report"
  mapfile -t lines < <(probe text 1001 text 1004 state 1023 text 1023)
  check "$dpi: its window" "found" "${lines[0]:-}"
  check "$dpi: writable for an administrator" \
    "Change a value and press Apply: the values are saved and the running service takes them up at once." \
    "${lines[1]:-}"
  running() { [ "$(probe text 1004 | tail -n 1)" == "Service: running" ]; }
  check_that "$dpi: the service's state" poll 10 running
  check "$dpi: Stop, for the running service" $'enabled\nS&top' \
    "$(probe state 1023 text 1023 | tail -n 2)"
  check "$dpi: laid out for its DPI" "$dpi" "$(report_says dpi)"

  # Group Policy's value: shown, locked, never offered for change.
  check "$dpi: the policy's value, locked" $'60\ndisabled\nSet by Group Policy' \
    "$(probe text 1208 state 1208 text 1808 | tail -n 3)"
  # A stored value beyond the panel's limits: shown as stored, with a remark.
  check "$dpi: AutoOptHour 30000 in checks, with its remark" \
    $'20000\nStored as 30,000 (every 20,000 checks, about every 4.1 years), outside what the panel offers (1 to 666 checks). Left as it is unless you change it.' \
    "$(probe text 1203 text 1303 | tail -n 2)"
  check "$dpi: a switch and the mode" $'enabled clear\nenabled checked\nenabled' \
    "$(probe state 1201 state 1204 state 1200 | tail -n 3)"
  check "$dpi: Advanced folded" $'hidden\nhidden' "$(probe state 1205 state 1206 | tail -n 2)"
  check_layout "$dpi, as it opens"
  crop "velpanel-$dpi.png"
  crop "velpanel-locked-$dpi.png" 1108 1208 1808 1908 1508
  crop "velpanel-chart-$dpi.png" 1024

  # A refused value: its whole message beside it, nothing written.
  local before
  before=$(dword RamAvailable)
  mapfile -t lines < <(probe set 2 12x press 1002 text 1402 text 1003)
  check "$dpi: not a number, refused" "Not a whole number: enter 1 to " "${lines[3]:0:31}"
  check "$dpi: the message's unit" " MB." "${lines[3]: -4}"
  check "$dpi: nothing saved" "Nothing was saved: correct the values marked in red." \
    "${lines[4]:-}"
  check "$dpi: the registry unchanged" "$before" "$(dword RamAvailable)"
  check_layout "$dpi, with the refused value"
  crop "velpanel-refused-$dpi.png"

  # The three values that change nothing, unfolded.
  probe press 1020 >/dev/null
  check "$dpi: Advanced unfolded" $'enabled checked\nenabled' \
    "$(probe state 1205 state 1206 | tail -n 2)"
  check "$dpi, unfolded: every text fits" "0" "$(report_says problems)"
  crop "velpanel-advanced-$dpi.png"

  # Saved values, with the grammar and what the service takes up.
  mapfile -t lines < <(probe set 2 200 press 1002 text 1402 text 1003)
  check "$dpi: 200 accepted" "" "${lines[3]-x}"
  check "$dpi: saved and taken up" "Saved 1 value; the service has taken it up." "${lines[4]:-}"
  check "$dpi: RamAvailable written" "0xc8" "$(dword RamAvailable)"
  local usage=$((dpi == 96 ? 20 : 18))
  mapfile -t lines < <(probe set 6 "$usage" press 1002 text 1003)
  check "$dpi: a value that changes nothing" \
    "Saved 1 value; it changes nothing the service does." "${lines[3]:-}"
  check "$dpi: CacheUsage written" "$(printf '0x%x' "$usage")" "$(dword CacheUsage)"

  # The boost interval says its time as it is typed.
  check "$dpi: the interval's time" \
    "The boost comes every 3 checks, about every 5.4 hours. 1 to 666 checks; default 1." \
    "$(probe set 3 3 text 1503 | tail -n 1)"

  # Closing over that edit asks; Cancel keeps the panel, Discard closes it
  # and writes nothing.
  probe escape >/dev/null
  check "$dpi: Escape asks" \
    $'found\nSome changes are not applied yet. Apply them before the control panel closes, or discard them?\nok' \
    "$(probe wait "Unapplied changes" text 1030 press 2)"
  check "$dpi: Cancel keeps the panel" $'found\n1' "$(probe count)"
  probe post 2 >/dev/null
  check "$dpi: Close asks; Discard" $'found\nok' "$(probe wait "Unapplied changes" press 1032)"
  panel_exit
  check "$dpi: closed, exit code 0" "0" "$code"
  check "$dpi: the discarded edit not written" "0x7530" "$(dword AutoOptHour)"
}

# The chart of a memory figure that changes: the available memory's line at
# its height before and after, in the chart's colour; the cache not drawn.
check_chart() {
  local plot top lines
  start_panel test-report "$report"
  enough() { [ "$(report_says chart-samples)" -ge 40 ] 2>/dev/null; }
  check_that "chart: 40 samples" poll 90 enough
  available 6000
  changed() { [ "$(report_says chart-newest-mb)" == "6000" ]; }
  check_that "chart: the newest sample at 6,000 MB" poll 10 changed
  shot "$work/chart.png"
  read -r left top right bottom <<<"$(report_says chart-plot)"
  plot=$(report_says chart-top-mb)
  # Rows as the chart computes them; columns of the newest sample and of one
  # 30 seconds older, from before the change.
  y_of() { echo $((bottom - 1 - $1 * (bottom - 1 - top) / plot)); }
  x_of() { echo $((right - 1 - $1 * (right - 1 - left) / 599)); }
  blue_near() {  # blue_near X Y: the available memory's colour within 2 rows
    pixels "$work/chart.png" "1x5+$1+$(($2 - 2))" | grep -qi '#005AC8'
  }
  check_that "chart: 6,000 MB drawn at its height" blue_near "$(x_of 0)" "$(y_of 6000)"
  check_that "chart: 12,000 MB drawn at its height" blue_near "$(x_of 30)" "$(y_of 12000)"
  no_blue_near() { ! blue_near "$@"; }
  check_that "chart: nothing drawn where no figure is" no_blue_near "$(x_of 30)" "$(y_of 3000)"
  check "chart: the cache is said not to be reported" \
    "Available memory 6,000 MB; the file cache is not reported on this system" \
    "$(probe text 1024 | tail -n 1)"
  crop "velpanel-chart-96.png" 1024

  # A change of DPI lays the panel out again.
  probe dpi 144 >/dev/null
  check "DPI change: laid out for 144" "144" "$(report_says dpi)"
  check_layout "after a change to 144 DPI"
  probe dpi 96 >/dev/null

  # The service stopped and started from the panel, which is elevated here.
  stopped() { [ "$(probe text 1004 | tail -n 1)" == "Service: stopped" ]; }
  probe press 1023 >/dev/null
  check_that "the panel stops the service" poll 20 stopped
  done_said() { [ "$(probe text 1003 | tail -n 1)" == "$1" ]; }
  check_that "it says so" poll 10 done_said "The service was stopped."
  check "Start, for the stopped service" $'enabled\n&Start' "$(probe state 1023 text 1023 | tail -n 2)"
  probe press 1023 >/dev/null
  check_that "the panel starts it again" poll 20 running
  check_that "it says so" poll 10 done_said "The service was started."
  probe press 2 >/dev/null
  panel_exit
  check "chart: closed without a question, exit code 0" "0" "$code"
}

# A panel without write access: the edits go to the panel it starts elevated.
check_elevation() {
  local lines
  start_panel test-report "$report" test-limited
  mapfile -t lines < <(probe text 1001 state 1025 state 1002)
  check "limited: says what it needs" \
    "Changing these settings needs administrator rights: make your changes, then press Change settings... to save them as an administrator." \
    "${lines[1]:-}"
  check "limited: Change settings... instead of Apply" $'enabled\nhidden' \
    "$(printf '%s\n' "${lines[2]:-}" "${lines[3]:-}")"
  # Its Start and Stop go through velpanel started elevated, which ends when done.
  button_says() { [ "$(probe text 1023 | tail -n 1)" == "$1" ]; }
  check_that "limited: Stop offered" poll 10 button_says "S&top"
  probe press 1023 >/dev/null
  check_that "limited: the service stopped as an administrator" poll 20 stopped
  check_that "limited: Start offered" poll 10 button_says "&Start"
  probe press 1023 >/dev/null
  check_that "limited: the service started again" poll 20 running
  probe set 2 300 set 0 1 post 1025 >/dev/null
  panel_exit
  check "limited: the panel hands over and ends" "0" "$code"
  mapfile -t lines < <(probe text 1202 text 1003 press 1002 text 1003)
  check "elevated: the edits carried over" \
    $'found\n300\nYour changes were carried over: press Apply to save them.\nok\nSaved 2 values; the service has taken them up.' \
    "$(printf '%s\n' "${lines[@]}")"
  check "elevated: both written" $'0x12c\n0x1' "$(dword RamAvailable; dword Settings)"
  check "elevated: closed" $'found\nok\ngone' "$(probe press 2 gone)"
}

check_panel_at 96
check_chart
check_elevation
check_panel_at 144

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
