#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix and exits
# with the program's exit code.
#
#   wine-run.sh PROGRAM.exe [ARGUMENT...]
#
# The prefix is $VELMORA_WINEPREFIX, or build/wine-prefix in the repository. It
# is created on first use. When the last program running in the prefix has
# ended, the prefix's wineserver is ended too, so nothing is left running.
# No display is needed for console programs.
set -u

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

export WINEPREFIX="${VELMORA_WINEPREFIX:-$repo/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ $# -eq 0 ]; then
  echo "usage: $0 PROGRAM.exe [ARGUMENT...]" >&2
  exit 2
fi

mkdir -p "$(dirname "$WINEPREFIX")"
ready="$WINEPREFIX/.velmora-prefix-ready"

# One lock file per prefix. Held exclusively to create the prefix and to end
# its server, shared while a program runs: so parallel first use creates the
# prefix once, and the server is ended only when no other run still needs it.
# Wine's processes never inherit the lock's descriptor (9>&-): a server outliving
# an interrupted run would otherwise hold the lock for good.
exec 9>"$WINEPREFIX.lock"

# Ends the prefix's server once no other run holds the lock shared.
end_server() {
  flock -u 9
  flock -x 9
  wineserver -k >/dev/null 2>&1 9>&-
  wineserver -w >/dev/null 2>&1 9>&-
  flock -u 9
}

interrupted() {
  end_server
  exit 130
}
trap interrupted INT TERM HUP

flock -x 9
if [ ! -e "$ready" ]; then
  if ! wineboot -i >/dev/null 2>&1 </dev/null 9>&-; then
    echo "$0: could not create the Wine prefix $WINEPREFIX" >&2
    wineserver -k >/dev/null 2>&1 9>&-
    exit 125
  fi
  wineserver -w 9>&-
  touch "$ready"
fi
flock -s 9

# The first program of a server starts Wine's own processes (services.exe,
# winedevice.exe, ...), which inherit its standard output and error. Start
# them here with those sent nowhere, or a caller reading the program's output
# through a pipe would wait for an end of file that never comes.
wine cmd /c exit >/dev/null 2>&1 </dev/null 9>&-

# In the background with an explicit standard input, so that a signal (a test
# timeout, ^C) runs the trap at once instead of after the program.
wine "$@" <&0 9>&- &
wait $!
status=$?

end_server
exit "$status"
