#!/usr/bin/env bash
# The running service's idle cost under Wine: CPU seconds per minute and
# resident memory of the velsvc process, measured over SECONDS (default 60).
#
#   bench/service_idle.sh [SECONDS]
# Builds the windows preset first if needed; uses a prefix of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ -f build/windows/velsvc.exe ] || { cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null; }
source tests/wine/wine-prefix.sh
prefix_begin wine-prefix-bench

mkdir -p "$WINEPREFIX/drive_c/Velmora"
cp build/windows/velsvc.exe "$WINEPREFIX/drive_c/Velmora/velsvc.exe"
# No periodic boost while measuring idle cost.
win reg add 'HKLM\SOFTWARE\Quorlex\Velmora' /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
win 'C:\Velmora\velsvc.exe' -start >/dev/null

pid=""
for candidate in $(prefix_pids); do
  if tr '\0' ' ' <"/proc/$candidate/cmdline" 2>/dev/null | grep -qi 'velsvc.exe'; then
    pid=$candidate
  fi
done
[ -n "$pid" ] || { echo "the service process was not found" >&2; exit 1; }

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
sleep 5
before=$(ticks)
sleep "$seconds"
after=$(ticks)
rss_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v rss="$rss_kb" 'BEGIN {
  printf "velsvc idle under Wine: %.3f CPU seconds per minute, %d KB resident\n", t / hz * 60 / s, rss
}'
