#!/usr/bin/env bash
# A soak under Wine: the service, built with a loop that ticks about 200 times
# faster than the shipped one (velsvc_soak), runs for DURATION_SECONDS while
# velmon runs alongside in a Wine desktop on a virtual display and the memory
# load that Wine reports walks up and down through the tuner's bands. Every ten
# seconds the service's handles and private memory and velmon's handles, GDI
# objects and private memory are sampled. At the end it prints the samples, a
# verdict for each series and how far the service got (ticks, maintenance
# rounds, re-reads), and exits non-zero when a series grows steadily or a
# program failed.
#
#   bench/soak/soak.sh [DURATION_SECONDS]     (default 600, at least 30)
#
# Builds what it needs in build/soak (the windows preset's toolchain) and keeps
# each run's files in build/soak/run-DATE-TIME. Not part of scripts/test.sh.
#
# How the figures are read, and why:
# - handles: the probe (soak_probe.exe) counts the process's entries in the
#   system's handle list. GetProcessHandleCount answers 0 under Wine 8.
# - GDI objects (velmon): the probe counts the objects in velmon's GDI handle
#   table. GetGuiResources answers 0 under Wine; its figures are kept in the
#   samples to show that.
# - private memory: RssAnon of the Linux process that runs the program (its
#   private, anonymous resident memory). GetProcessMemoryInfo's PrivateUsage of
#   another process is only its swapped-out part under Wine 8.
#
# Memory safety: the service and velmon see a private /proc/meminfo (a mount
# namespace of its own), so only its figures change; the service's periodic
# boost is pushed out to every 20000 maintenance rounds (AutoOptHour 30000, set
# before the service starts) and its memory zipper is off, so nothing squeezes;
# a watchdog stops the soak should either program pass 1 GB resident.
set -u
cd "$(dirname "$0")/../.." || exit 2
repo=$(pwd)

duration=${1:-600}
if ! [[ "$duration" =~ ^[0-9]+$ ]] || [ "$duration" -lt 30 ]; then
  echo "usage: $0 [DURATION_SECONDS]   (at least 30; default 600)" >&2
  exit 2
fi

build="$repo/build/soak"
echo "building velsvc_soak, velmon and soak_probe in $build ..."
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset windows -B "$build" >"$repo/build/soak-configure.log" 2>&1 || {
    cat "$repo/build/soak-configure.log" >&2
    exit 1
  }
fi
if ! cmake --build "$build" -j 2 --target velsvc_soak velmon soak_probe >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log" >&2
  exit 1
fi

out="$build/run-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
# The private /proc/meminfo, with the host's total; the session rewrites it.
awk '/^MemTotal:/ { print }' /proc/meminfo >"$out/meminfo"

# The session runs in a mount namespace of its own, /proc/meminfo bound to the
# file: every process it starts (the Wine server, the service manager, the
# service, the desktop, velmon, the probe) inherits it.
# shellcheck disable=SC2016
unshare -m bash -c 'mount --bind "$0" /proc/meminfo && exec "$@"' "$out/meminfo" \
  bash "$repo/bench/soak/soak_session.sh" "$duration" "$out" "$build" </dev/null &
session=$!
stop_session() {
  kill -TERM "$session" 2>/dev/null
  wait "$session" 2>/dev/null
  exit 130
}
trap stop_session INT TERM HUP
wait "$session"
session_status=$?
trap - INT TERM HUP

echo
echo "files of this run: $out"
samples="$out/samples.tsv"
if [ ! -s "$samples" ] || [ "$(wc -l <"$samples")" -lt 4 ]; then
  echo "FAIL: too few samples (the session ended with $session_status)"
  exit 1
fi

# ---- How far the service got ----------------------------------------------------

# The service's maintenance round (every 8002 ticks, the first on the first
# tick) reads AutoOptHour; its re-read (every 21002 ticks) reads
# MemoryZipperPlus, as its construction did before the first tick.
svc_win=$(awk '/service running: Windows process/ { print $6 }' "$out/events.log" | tr -d ',')
svc_hex=$(printf '%04x' "${svc_win:-0}")
end_stamp=$(awk -F: 'NR == 1 { print $1 }' "$out/end-marker.log" 2>/dev/null)
awk -F: -v pid="$svc_hex" -v end="${end_stamp:-0}" '
  $2 != pid || $0 !~ /trace:reg:RegQueryValueExW/ || $0 !~ /=4\)$/ { next }
  /L"AutoOptHour",/ { rounds++; if (rounds == 1) first = $1; last = $1 }
  /L"MemoryZipperPlus",/ && rounds > 0 { rereads++ }
  END {
    if (rounds < 2) { printf "service: %d maintenance round(s); too few to tell the tick rate\n", rounds; exit }
    rate = 8002 * (rounds - 1) / (last - first)
    ticks = 1 + 8002 * (rounds - 1)
    if (end > last) ticks += rate * (end - last)
    printf "service: about %d ticks (%.0f a second, a pass every %.2f ms), %d maintenance rounds, %d re-reads\n",
      ticks, rate, 1000 / (4 * rate), rounds, rereads
  }' "$out/trace.log"

# ---- The samples and the verdicts ---------------------------------------------------

awk -F'\t' '
  NR == 1 { next }
  {
    n++
    for (c = 1; c <= NF; c++) v[n, c] = $c
  }
  function cell(x, unit) { return x < 0 ? "-" : x unit }
  END {
    printf "\n%6s %5s %5s | %8s %10s | %8s %8s %10s\n", "t (s)", "load", "path",
      "svc hnd", "svc priv", "mon hnd", "mon GDI", "mon priv"
    gui = 0
    for (i = 1; i <= n; i++) {
      printf "%6d %5s %5s | %8s %10s | %8s %8s %10s\n", v[i, 1], cell(v[i, 2], "%"),
        v[i, 3] ? "fixed" : "auto", cell(v[i, 4], ""), cell(v[i, 5], " KB"), cell(v[i, 6], ""),
        cell(v[i, 7], ""), cell(v[i, 8], " KB")
      if (v[i, 9] > 0 || v[i, 10] > 0) gui = 1
    }
    printf "(load: as Wine reported it at the sample; path: the Settings value in the registry,\n"
    printf " which the service takes at its next re-read; -: the figure could not be read)\n"
    if (!gui) {
      printf "GetGuiResources answered 0 for velmon in every sample (Wine does not implement it);\n"
      printf "the GDI column counts the objects in velmon'\''s GDI handle table instead.\n"
    }
    printf "\n"
    split("4 5 6 7 8", cols, " ")
    split("service handles|service private memory (KB)|velmon handles|velmon GDI objects|velmon private memory (KB)", names, "|")
    # A series grows steadily when the mean of the last third of its samples
    # lies above the mean of the first third by more than the tolerance and the
    # middle third lies between them: growth across the whole run, not one rise
    # that then stays.
    split("2 512 2 2 512", absTol, " ")
    growing = 0
    for (s = 1; s <= 5; s++) {
      c = cols[s]
      m = 0
      for (i = 1; i <= n; i++) {
        if (v[i, c] >= 0) { m++; x[m] = v[i, c]; t[m] = v[i, 1] }
      }
      if (m < 3) {
        printf "%-30s too few readings (%d)\n", names[s] ":", m
        growing = 1
        continue
      }
      k = int(m / 3)
      first = 0; last = 0; middle = 0; mc = 0; max = x[1]; at = t[1]
      for (i = 1; i <= m; i++) {
        if (i <= k) first += x[i]
        else if (i > m - k) last += x[i]
        else { middle += x[i]; mc++ }
        if (x[i] > max) { max = x[i]; at = t[i] }
      }
      first /= k; last /= k; middle /= mc
      tol = absTol[s] + 0.02 * first
      if (last - first > tol && middle - first > tol / 4 && last - middle > tol / 4) {
        verdict = "GROWING"; growing = 1
      } else if (last - first > tol) {
        verdict = "rose once, then flat"
      } else {
        verdict = "flat"
      }
      printf "%-30s %-8s start %d, end %d, max %d (at %d s); first third %.1f, last third %.1f (%+.1f; tolerance %.1f)\n",
        names[s] ":", verdict, x[1], x[m], max, at, first, last, last - first, tol
    }
    exit growing
  }' "$samples"
verdicts=$?

echo
grep -F 'FAULT' "$out/events.log" 2>/dev/null
if [ "$session_status" -ne 0 ]; then
  echo "FAIL: the soak session reported a fault (exit $session_status); see $out/events.log"
  exit 1
fi
if [ "$verdicts" -ne 0 ]; then
  echo "FAIL: a series grows steadily"
  exit 1
fi
echo "PASS: no series grows; both programs ran to the end and ended as asked"
