#!/usr/bin/env bash
# The soak itself, run by soak.sh inside a mount namespace of its own in which
# /proc/meminfo is OUT_DIR/meminfo. It starts a Wine prefix, a virtual display
# with a Wine desktop, the soak build of the service and velmon, walks the
# memory load that Wine reports through the tuner's bands by rewriting that
# file, samples both programs every ten seconds and ends everything it started
# by process id.
#
#   soak_session.sh DURATION_SECONDS OUT_DIR BUILD_DIR
#
# Leaves in OUT_DIR: samples.tsv (one row per sample), events.log (the load
# steps, the path switches and what went wrong), trace.log (Wine's registry
# trace of the service manager's processes, which shows the service's
# maintenance rounds and re-reads), end-marker.log, probe.err (what the probe
# complained about) and velmon-end.png, a screenshot of velmon's icon. Exits 0
# when the soak ran to its end and both programs ended as asked.
set -u
duration=$1
out=$2
build=$3
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
meminfo="$out/meminfo"
events="$out/events.log"
samples="$out/samples.tsv"

# The prefix's first programs must not bind to a display.
unset DISPLAY
# shellcheck source-path=SCRIPTDIR/../../tests/wine
source "$repo/tests/wine/wine-prefix.sh"
# shellcheck source-path=SCRIPTDIR/../../tests/wine
source "$repo/tests/wine/desktop.sh"

# log: to events.log and the terminal; note: to events.log only.
log() { printf '%s %s\n' "$(date +%T)" "$*" | tee -a "$events"; }
note() { printf '%s %s\n' "$(date +%T)" "$*" >>"$events"; }
now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }

faults=0
fault() {
  faults=$((faults + 1))
  log "FAULT: $*"
}

velmon_pid=""
cleanup() {
  prefix_end
  desktop_end
}
trap cleanup EXIT
trap 'log "interrupted"; exit 130' INT TERM HUP

# ---- The pinned memory --------------------------------------------------------

# Wine takes the total from the host and the available memory from
# /proc/meminfo, and computes the load as (total - available) / (total / 100).
# The file keeps the host's total and says that half a percent above the wanted
# load is available, less a jitter of up to 0.4 percent that changes every
# second, so that velmon's number changes (and velmon draws a new icon) every
# second while the load stays in its percent. Every figure has a fixed width and
# the file is rewritten in place with one write, so that a reader never sees it
# short.
total_kb=$(awk '/^MemTotal:/ { print $2 }' "$meminfo")
write_meminfo() {  # write_meminfo LOAD JITTER(0-4)
  local avail=$((total_kb * (995 - 10 * $1) / 1000 - total_kb * $2 / 1000))
  printf 'MemTotal:       %12d kB\nMemFree:        %12d kB\nMemAvailable:   %12d kB\nBuffers:        %12d kB\nCached:         %12d kB\nSwapCached:     %12d kB\nSwapTotal:      %12d kB\nSwapFree:       %12d kB\n' \
    "$total_kb" "$avail" "$avail" 0 0 0 65536 65536 1<>"$meminfo"
}
# One walk up through the bands 0-26, 27-62, 63-80, 81-90 and 91-100 and back
# down, their edges included.
loads=(10 20 26 27 40 55 62 63 70 78 80 81 85 90 91 95 99 95 91 90 85 81 80 78 70 63 62 55 40 27 26 20)
# Each load holds for a 32nd of the run, between 1 and 5 seconds.
step_ms=$((duration * 1000 / ${#loads[@]}))
((step_ms > 5000)) && step_ms=5000
((step_ms < 1000)) && step_ms=1000
write_meminfo "${loads[0]}" 0

# ---- The prefix, its service manager traced ---------------------------------------

export WINEPREFIX="$repo/build/wine-prefix-soak"
bash "$repo/tests/wine/wine-run.sh" cmd /c exit >/dev/null 2>&1
prefix_end
cp -a "$repo/build/wine-prefix" "$WINEPREFIX"
rm -f "$WINEPREFIX/.velmora-prefix-ready"
wineserver -p </dev/null >/dev/null 2>&1
# The first program starts the service manager, which passes its environment
# and its standard error on to the services it starts: the service's registry
# calls land in trace.log, each line with a timestamp and the process id.
WINEDEBUG=-all,+pid,+timestamp,trace+reg wine cmd /c exit </dev/null >/dev/null 2>"$out/trace.log"

folder="$WINEPREFIX/drive_c/Velmora Soak"
mkdir -p "$folder"
cp "$build/bench/soak/velsvc_soak.exe" "$folder/velsvc.exe"
cp "$build/velmon.exe" "$folder/velmon.exe"
cp "$build/bench/soak/soak_probe.exe" "$WINEPREFIX/drive_c/soak_probe.exe"
velsvc='C:\Velmora Soak\velsvc.exe'
velmon='C:\Velmora Soak\velmon.exe'
# The probe's complaints are kept in probe.err. A run that prints nothing (it
# happened twice in some 250 runs during busy soaks, with no message at all) is
# noted there and tried once more.
probe() {
  local output code attempt
  for attempt in 1 2; do
    output=$(wine 'C:\soak_probe.exe' "$@" </dev/null 2>>"$out/probe.err")
    code=$?
    [ -n "$output" ] && break
    echo "$(date +%T) soak_probe $*: exit $code and no output (attempt $attempt)" >>"$out/probe.err"
  done
  printf '%s\n' "${output//$'\r'/}"
  return "$code"
}

self_test=$(probe self-test)
log "probe self-test: $self_test"
case "$self_test" in
  ok*) ;;
  *) fault "the probe cannot count handles or GDI objects"; exit 1 ;;
esac
read -r load total_mb avail_mb page_mb < <(probe memory)
log "Wine reports load ${load:-?}%, total ${total_mb:-?} MB, available ${avail_mb:-?} MB," \
  "free page file ${page_mb:-?} MB (pinned: load ${loads[0]})"
if [ "${load:-}" != "${loads[0]}" ]; then
  fault "the memory load cannot be pinned"
  exit 1
fi

# ---- The desktop ------------------------------------------------------------------

desktop_begin "$out" || { fault "Xvfb did not start"; exit 1; }

# ---- The service ------------------------------------------------------------------

# Before the service first starts: no periodic boost (one every 20000
# maintenance rounds, far beyond this run), no memory zipper, the automatic path.
settings_key='HKLM\SOFTWARE\Quorlex\Velmora'
win reg add "$settings_key" /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
win reg add "$settings_key" /v IsAutoOptHour /t REG_DWORD /d 1 /f >/dev/null
win reg add "$settings_key" /v MemoryZipperPlus /t REG_DWORD /d 0 /f >/dev/null
win reg add "$settings_key" /v Settings /t REG_DWORD /d 0 /f >/dev/null
win "$velsvc" -install >/dev/null
win "$velsvc" -start >/dev/null

# The Linux process of a Windows program of the prefix, told by its command line.
unix_pid() {  # unix_pid PROGRAM.exe
  local pid
  for pid in $(prefix_pids); do
    if tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qiF "$1"; then
      echo "$pid"
      return 0
    fi
  done
  return 1
}
svc_unix=$(poll 30 unix_pid velsvc.exe) || { fault "the service did not start"; exit 1; }
svc_win=$(probe pids velsvc.exe | head -n 1)
log "service running: Windows process $svc_win, Linux process $svc_unix"

# ---- velmon -----------------------------------------------------------------------

WINEDEBUG=-all wine "$velmon" </dev/null >"$out/velmon.out" 2>&1 &
velmon_pid=$!
mon_unix=$(poll 60 unix_pid velmon.exe) || { fault "velmon did not start"; exit 1; }
mon_win=$(probe pids velmon.exe | head -n 1)
icon_drawn() { [ "$(probe sample "$mon_win" | awk '{ print $6 }')" -gt 0 ] 2>/dev/null; }
poll 60 icon_drawn || { fault "velmon drew no icon"; exit 1; }
log "velmon running: Windows process $mon_win, Linux process $mon_unix"

# ---- The soak ---------------------------------------------------------------------

status_kb() {  # status_kb LINUXPID FIELD: a figure of /proc/PID/status in kB, or -1
  awk -v f="$2:" '$1 == f { print $2; found = 1 } END { if (!found) print -1 }' \
    <"/proc/$1/status" 2>/dev/null || echo -1
}
# Nothing here squeezes memory; should anything squeeze, it stops at once.
watchdog_kb=1048576
alive_and_small() {
  local pid name rss
  for pid in "$svc_unix" "$mon_unix"; do
    [ "$pid" == "$svc_unix" ] && name=service || name=velmon
    if ! kill -0 "$pid" 2>/dev/null; then
      fault "the $name ended during the soak"
      return 1
    fi
    rss=$(status_kb "$pid" VmRSS)
    if [ "$rss" -gt "$watchdog_kb" ]; then
      fault "the $name holds $rss kB resident: stopped"
      return 1
    fi
  done
}

settings=0
printf 't_s\tload\tsettings\tsvc_handles\tsvc_private_kb\tmon_handles\tmon_gdi\tmon_private_kb\tmon_gui_gdi\tmon_gui_user\tsvc_rss_kb\tmon_rss_kb\n' >"$samples"
sample() {  # sample SECONDS
  local t=$1 svc mon wine_load
  svc=$(probe sample "$svc_win")
  mon=$(probe sample "$mon_win")
  wine_load=$(probe memory | awk '{ print $1 }')
  # The probe's fields: handles, handle count, PrivateUsage, the two
  # GetGuiResources figures, the GDI table's count.
  local -a s m
  read -r -a s <<<"$svc"
  read -r -a m <<<"$mon"
  printf '%d\t%s\t%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$t" "${wine_load:--1}" "$settings" \
    "${s[0]:--1}" "$(status_kb "$svc_unix" RssAnon)" "${m[0]:--1}" "${m[5]:--1}" \
    "$(status_kb "$mon_unix" RssAnon)" "${m[3]:--1}" "${m[4]:--1}" \
    "$(status_kb "$svc_unix" VmRSS)" "$(status_kb "$mon_unix" VmRSS)" >>"$samples"
}

start=$(now_ms)
end=$((start + duration * 1000))
next_sample=$start
step=-1
changes=0
log "soak: $duration s, the load changing every $step_ms ms, samples every 10 s"
while :; do
  now=$(now_ms)
  elapsed=$((now - start))
  if ((now >= next_sample)); then
    sample "$((elapsed / 1000))"
    next_sample=$((next_sample + 10000))
  fi
  ((now >= end)) && break
  alive_and_small || break
  wanted=$((elapsed / step_ms))
  if ((wanted != step)); then
    step=$wanted
    index=$((step % ${#loads[@]}))
    # Each walk after the first switches between the automatic path (0) and the
    # fixed-size path (1); the service takes the value at its next re-read.
    if ((index == 0 && step > 0)); then
      settings=$((1 - settings))
      win reg add "$settings_key" /v Settings /t REG_DWORD /d "$settings" /f >/dev/null
      log "registry Settings = $settings (taken at the service's next re-read)"
    fi
    note "load ${loads[index]}"
  fi
  write_meminfo "${loads[index]}" $((elapsed / 1000 % 5))
  changes=$((changes + 1))
  sleep 1
done
log "soak over after $((($(now_ms) - start) / 1000)) s; the pinned file was rewritten $changes times"
((faults > 0)) && exit 1

# ---- The end ----------------------------------------------------------------------

# A registry call traced now stamps the end in the trace's own clock.
WINEDEBUG=-all,+pid,+timestamp,trace+reg wine reg query "$settings_key" /v AutoOptHour \
  </dev/null >/dev/null 2>"$out/end-marker.log"
import -display "$DISPLAY" -window root "$out/velmon-end.png" 2>/dev/null

[ "$(probe close)" == "sent" ] || fault "velmon's window is gone"
ended() { ! kill -0 "$velmon_pid" 2>/dev/null; }
if poll 30 ended; then
  wait "$velmon_pid"
  code=$?
  [ "$code" -eq 0 ] || fault "velmon ended with $code after WM_CLOSE"
  log "velmon ended with $code after WM_CLOSE"
else
  fault "velmon did not end after WM_CLOSE"
fi
win "$velsvc" -stop >/dev/null
svc_gone() { ! kill -0 "$svc_unix" 2>/dev/null; }
if poll 30 svc_gone; then
  log "the service stopped"
else
  fault "the service did not stop"
fi
win "$velsvc" -remove >/dev/null
((faults == 0))
