#!/usr/bin/env bash
# Runs a Windows program that needs a display under Wine: starts a virtual X
# display of its own (Xvfb on a free display number), runs the program through
# wine-run.sh with DISPLAY pointing at it, ends that Xvfb by its process id and
# exits with the program's exit code.
#
#   xvfb-run.sh PROGRAM.exe [ARGUMENT...]
#
# The programs run in a prefix of their own, $VELMORA_WINEPREFIX or
# build/wine-prefix-display in the repository (created on first use), and one
# at a time: Wine's desktop process stays bound to the display of the program
# that started it, so a server must never be shared by programs on two
# displays, nor by console programs that run without one.
set -u

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

if [ $# -eq 0 ]; then
  echo "usage: $0 PROGRAM.exe [ARGUMENT...]" >&2
  exit 2
fi

export VELMORA_WINEPREFIX="${VELMORA_WINEPREFIX:-$repo/build/wine-prefix-display}"
mkdir -p "$(dirname "$VELMORA_WINEPREFIX")"

# Held for the whole run; neither Xvfb nor Wine's processes inherit it (8>&-).
exec 8>"$VELMORA_WINEPREFIX.display.lock"
flock -x 8

numberfile="$(mktemp)"
xvfb=""
runner=""

stop_xvfb() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    xvfb=""
  fi
  rm -f "$numberfile"
}

interrupted() {
  # wine-run.sh ends the prefix's server on its own signal.
  if [ -n "$runner" ]; then
    kill -TERM "$runner" 2>/dev/null
    wait "$runner" 2>/dev/null
  fi
  stop_xvfb
  exit 130
}
trap interrupted INT TERM HUP

# Xvfb picks a free display number and writes it to descriptor 7 once clients
# can connect.
Xvfb -displayfd 7 -screen 0 640x480x24 -nolisten tcp \
  7>"$numberfile" 8>&- </dev/null >/dev/null 2>&1 &
xvfb=$!

display=""
for _ in $(seq 100); do
  display="$(head -n 1 "$numberfile" 2>/dev/null)"
  [ -n "$display" ] && break
  if ! kill -0 "$xvfb" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
if [ -z "$display" ]; then
  echo "$0: Xvfb did not start" >&2
  stop_xvfb
  exit 125
fi

# In the background, so that a signal runs the trap at once.
DISPLAY=":$display" bash "$here/wine-run.sh" "$@" <&0 8>&- &
runner=$!
wait "$runner"
status=$?
runner=""

stop_xvfb
exit "$status"
