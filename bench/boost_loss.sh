#!/usr/bin/env bash
# How many of Boost Memory Now's squeezes the tray's own icon probe costs,
# under Wine: N requests of the tray's squeezer, each followed by the icon
# refresh, with the figure changed before each request (the refresh draws, as
# after Empty System Cache) and unchanged (the cached icon), once with the
# probe closed before memory is read and the icon drawn (as velmon does) and
# once with it held until the icon is drawn (as the tray did before). Prints
# the loss rates. A measurement, not a test: no figure is asserted.
#
#   bench/boost_loss.sh [N]    N requests per case, 200 unless given
#
# Builds boost_loss_bench into build/bench/windows (the windows preset's
# settings, as bench/run does) and runs it with a display of its own through
# tests/wine/xvfb-run.sh. Each squeeze commits 8 MB. Run it on an otherwise
# idle machine: a busy one preempts the probe while it exists.
set -euo pipefail
cd "$(dirname "$0")/.."
requests=${1:-200}

mkdir -p build/bench
# One run at a time, bench/run's included: the build folder is shared.
exec 9>build/bench/run.lock
flock -n 9 || {
  echo "boost_loss: another bench run is under way" >&2
  exit 1
}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset windows -B build/bench/windows &&
  cmake --build build/bench/windows -j2 --target boost_loss_bench; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "boost_loss: the build failed" >&2
  exit 1
fi
exe=build/bench/windows/bench/perf/boost_loss_bench.exe

# The figures depend on how busy the machine is.
echo "Squeezes lost to the icon probe, $requests requests each (load average" \
  "$(cut -d ' ' -f 1-3 /proc/loadavg) on $(nproc) processors):"
printf '  %-34s %-12s %s\n' "icon probe" "figure" "lost"
for probe in held closed; do
  for figure in changed unchanged; do
    result=$(bash tests/wine/xvfb-run.sh "$exe" "$requests" "$figure" "$probe" 9>&- | tr -d '\r')
    lost=$(sed -n 's/^lost \([0-9]*\) of .*/\1/p' <<<"$result")
    if [ -z "$lost" ]; then
      echo "boost_loss: $probe/$figure: $result" >&2
      exit 1
    fi
    case $probe in
      held) what="held until drawn (before)" ;;
      *) what="closed at once (now)" ;;
    esac
    printf '  %-34s %-12s %3d of %d (%d%%)%s\n' "$what" "$figure" "$lost" "$requests" \
      $((lost * 100 / requests)) "$(grep -o 'unfinished.*' <<<"$result" | sed 's/^/, /')"
  done
done
