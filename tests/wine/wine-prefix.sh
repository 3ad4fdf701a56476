# Helpers for tests that drive Windows programs under Wine in a prefix of
# their own. Source it; it needs bash.
#
#   prefix_begin NAME   a fresh copy of the project's prefix as build/NAME, its
#                       server kept running, WINEPREFIX exported
#   prefix_end          ends every process of that prefix by its process id and
#                       removes the copy
#   programs            "PID COMMAND LINE" of each running process of the
#                       prefix (Wine shows a program's Windows path and
#                       arguments as its command line)
#   win PROGRAM ARGS    runs a program in the prefix, standard output to stdout
#                       with each "\r\n" turned back into "\n"
#   check NAME EXPECTED ACTUAL
#                       counts a passed check, or prints FAIL and the difference
#   check_that NAME COMMAND...
#                       counts a passed check when the command succeeds
#   give_up REASON      the remaining checks cannot run: FAIL, the count, exit 1
#   poll SECONDS COMMAND...
#                       runs the command every quarter second until it
#                       succeeds, at most SECONDS long

wine_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Process ids of every Wine process of $WINEPREFIX (the server, Wine's own
# processes, the programs), told by their executable and their environment.
prefix_pids() {
  local pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    case "$(readlink "/proc/$pid/exe" 2>/dev/null)" in
      *wine*) ;;
      *) continue ;;
    esac
    if grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null; then
      echo "$pid"
    fi
  done
}

programs() {
  local pid
  for pid in $(prefix_pids); do
    echo "$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  done
}

prefix_begin() {
  local template="$wine_repo/build/wine-prefix"
  # The project's prefix, created once (serialised) by the runner.
  bash "$wine_repo/tests/wine/wine-run.sh" cmd /c exit >/dev/null 2>&1
  export WINEPREFIX="$wine_repo/build/$1"
  prefix_end
  cp -a "$template" "$WINEPREFIX"
  rm -f "$WINEPREFIX/.velmora-prefix-ready"
  trap prefix_end EXIT
  trap 'exit 130' INT TERM HUP
  # The server stays up between the test's commands; Wine's own processes are
  # started with their output sent nowhere, so that no pipe is held open.
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

prefix_end() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1
    local pids
    pids=$(prefix_pids)
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    rm -rf "$WINEPREFIX"
  fi
  return 0
}

win() {
  wine "$@" </dev/null 2>/dev/null | sed 's/\r$//'
  return "${PIPESTATUS[0]}"
}

passed=0
failed=0
check() {
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | head -20
  fi
}
check_that() {
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
  fi
}
give_up() {
  failed=$((failed + 1))
  echo "FAIL: $1"
  echo "$passed passed, $failed failed"
  exit 1
}

poll() {
  local seconds=$1 i
  shift
  for ((i = 0; i < seconds * 4; i++)); do
    "$@" && return 0
    sleep 0.25
  done
  "$@"
}
