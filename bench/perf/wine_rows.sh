#!/usr/bin/env bash
# The rows of the performance table measured under Wine, run by bench/run in a
# mount namespace of its own whose /proc/meminfo is a fixed file: every Wine
# process started here (the server, the service manager, the services, the
# desktop) sees the same available memory, so that the tray's number stays
# put and nothing here ever sizes a squeeze from the host's memory.
#
#   wine_rows.sh EXE_DIR OUT_DIR [IDLE_WINDOWS] [IDLE_SECONDS]
#
# EXE_DIR holds velsvc.exe and bench/perf/*.exe of a windows build. Writes
# OUT_DIR/squeeze.txt, idle.txt and tray.txt ("KEY VALUE" lines); BENCH_WINE_ROWS
# (default "squeeze idle tray") may name fewer of them. Uses the prefix
# build/wine-prefix-perf and a private X display; ends every process it started,
# by process id, also on failure.
set -u
exe_dir=$1
out_dir=$2
idle_windows=${3:-5}
idle_seconds=${4:-12}
rows=" ${BENCH_WINE_ROWS:-squeeze idle tray} "

# The first programs of the prefix must not bind to a display: the desktop is
# started later, on a display of its own.
unset DISPLAY
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/../../tests/wine/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/../../tests/wine/desktop.sh"

work=""
sleeper=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  if [ -n "$sleeper" ]; then
    kill "$sleeper" 2>/dev/null
    wait "$sleeper" 2>/dev/null
    sleeper=""
  fi
  prefix_end
  desktop_end
  if [ -n "$work" ]; then
    rm -rf "$work"
  fi
}
fail() {
  echo "wine_rows: $*" >&2
  exit 1
}
# Sleeps in the background, so that a signal ends the wait at once.
pause() {
  sleep "$1" &
  sleeper=$!
  wait "$sleeper"
  sleeper=""
}

# ---- Squeeze throughput -----------------------------------------------------------

measure_squeeze() {
  echo "  squeeze throughput (512 MB, 9 runs of each kind) ..." >&2
  win 'C:\VelmoraBench\squeeze_bench.exe' >"$out_dir/squeeze.txt" ||
    fail "squeeze_bench failed: $(cat "$out_dir/squeeze.txt")"
}

# ---- Idle cost of the running service ------------------------------------------------

pid_of() {  # pid_of PATTERN: the prefix's process whose command line matches PATTERN
  local candidate
  for candidate in $(prefix_pids); do
    if tr '\0' ' ' <"/proc/$candidate/cmdline" 2>/dev/null | grep -qiE "$1"; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

# CPU time of all of a process's threads in nanoseconds (the scheduler's own
# account, finer than the clock ticks of /proc/PID/stat), and its resident KB.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# The three services run side by side and are measured over the same windows:
# velsvc; the floor, a minimal service whose passes make the platform calls
# velsvc's passes make and nothing else (idle_baseline.exe tick-calls); and the
# minimal service that only sleeps in the same loop (which tells how much of
# the floor is the loop itself).
measure_idle() {
  echo "  service idle cost ($idle_windows windows of $idle_seconds s) ..." >&2
  # No periodic boost: with AutoOptHour 30000 it would come after 20000
  # maintenance rounds, years from now.
  win reg add 'HKLM\SOFTWARE\Quorlex\Velmora' /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
  win 'C:\VelmoraBench\velsvc.exe' -start >/dev/null || fail "velsvc -start failed"
  win 'C:\VelmoraBench\idle_baseline.exe' -install VelmoraIdleFloor tick-calls >/dev/null ||
    fail "idle_baseline -install (tick-calls) failed"
  win 'C:\VelmoraBench\idle_baseline.exe' -install VelmoraIdleSleep >/dev/null ||
    fail "idle_baseline -install failed"

  local svc_pid="" floor_pid="" sleep_pid="" w
  local svc_before floor_before sleep_before svc_after floor_after sleep_after
  for _ in $(seq 60); do
    svc_pid=$(pid_of 'velsvc\.exe') &&
      floor_pid=$(pid_of 'idle_baseline\.exe.*VelmoraIdleFloor') &&
      sleep_pid=$(pid_of 'idle_baseline\.exe.*VelmoraIdleSleep') && break
    sleep 0.5
  done
  if [ -z "$svc_pid" ] || [ -z "$floor_pid" ] || [ -z "$sleep_pid" ]; then
    fail "the services' processes were not found"
  fi

  # The service reports running after a second; its first tick maintains.
  pause 5
  : >"$out_dir/idle.txt"
  for ((w = 1; w <= idle_windows; w++)); do
    svc_before=$(cpu_ns "$svc_pid")
    floor_before=$(cpu_ns "$floor_pid")
    sleep_before=$(cpu_ns "$sleep_pid")
    pause "$idle_seconds"
    svc_after=$(cpu_ns "$svc_pid")
    floor_after=$(cpu_ns "$floor_pid")
    sleep_after=$(cpu_ns "$sleep_pid")
    if [ ! -d "/proc/$svc_pid" ] || [ ! -d "/proc/$floor_pid" ] || [ ! -d "/proc/$sleep_pid" ]; then
      fail "a service ended while measured"
    fi
    # idle_window N velsvc-cpu floor-cpu sleep-cpu (s/min) velsvc-rss floor-rss sleep-rss (KB)
    awk -v w="$w" -v s="$idle_seconds" -v a=$((svc_after - svc_before)) \
      -v f=$((floor_after - floor_before)) -v b=$((sleep_after - sleep_before)) \
      -v ra="$(rss_kb "$svc_pid")" -v rf="$(rss_kb "$floor_pid")" -v rb="$(rss_kb "$sleep_pid")" \
      'BEGIN {
        printf "idle_window %d %.6f %.6f %.6f %d %d %d\n", w, a / 1e9 * 60 / s, f / 1e9 * 60 / s,
          b / 1e9 * 60 / s, ra, rf, rb
      }' >>"$out_dir/idle.txt"
  done
  echo "idle_seconds $idle_seconds" >>"$out_dir/idle.txt"
  win 'C:\VelmoraBench\velsvc.exe' -remove >/dev/null
  win 'C:\VelmoraBench\idle_baseline.exe' -remove VelmoraIdleFloor >/dev/null
  win 'C:\VelmoraBench\idle_baseline.exe' -remove VelmoraIdleSleep >/dev/null
}

# ---- Tray refresh in a desktop with a taskbar --------------------------------------------

measure_tray() {
  echo "  tray refresh (Xvfb, Wine desktop) ..." >&2
  # Every program of the prefix runs in the desktop "shell", whose taskbar
  # shows notification icons; the program waits for the taskbar itself.
  desktop_begin "$work" || fail "Xvfb did not start"
  win 'C:\VelmoraBench\tray_refresh_bench.exe' >"$out_dir/tray.txt" ||
    fail "tray_refresh_bench failed: $(cat "$out_dir/tray.txt")"
}

# ---- The run ----------------------------------------------------------------------------

prefix_begin wine-prefix-perf
trap cleanup EXIT
work="$(mktemp -d)"

dir="$WINEPREFIX/drive_c/VelmoraBench"
mkdir -p "$dir"
for exe in velsvc.exe bench/perf/squeeze_bench.exe bench/perf/idle_baseline.exe \
  bench/perf/tray_refresh_bench.exe; do
  cp "$exe_dir/$exe" "$dir/" || fail "$exe_dir/$exe is missing"
done

# One after the other, so that none disturbs another's figures; the desktop
# comes last, since from then on the prefix's programs use its display.
[[ "$rows" == *" squeeze "* ]] && measure_squeeze
[[ "$rows" == *" idle "* ]] && measure_idle
[[ "$rows" == *" tray "* ]] && measure_tray
exit 0
