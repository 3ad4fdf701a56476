# shellcheck shell=bash
# A Wine desktop with a taskbar on a virtual display of its own, and a pinned
# /proc/meminfo, for the tests and measurements that show windows or squeeze
# memory. Source it after wine-prefix.sh (the desktop needs its `win` and
# `poll`); the memory part also stands alone. It needs bash.
#
#   desktop_begin DIR [WxH]
#                       starts Xvfb on a free display (its number written to
#                       DIR/display), exports DISPLAY, and makes the desktop
#                       "shell" (800x600 unless WxH is given), whose taskbar
#                       shows notification icons, the prefix's desktop and
#                       starts it; false when Xvfb did not start. The taskbar is
#                       drawn a little later: `poll 30 taskbar_shown` waits for
#                       it (it looks at the bottom of an 800x600 desktop).
#   desktop_end         ends that Xvfb
#   shot FILE           a screenshot of the display
#   pixels FILE AREA    the pixels of a screenshot's area (WxH+X+Y) as
#                       "x,y: (...) #RRGGBB ..." lines
#   taskbar FILE        the pixels of the taskbar, the bottom 20 rows
#   taskbar_shown       a fresh screenshot's taskbar is no longer all black
#
#   pin_memory FILE [MB]
#                       writes FILE as a /proc/meminfo with MB (400 unless
#                       given) of 1 GB available and 64 MB of free page file,
#                       and makes it the one `pinned` uses ($pinned_meminfo)
#   pinned COMMAND...   runs COMMAND in a mount namespace of its own in which
#                       /proc/meminfo is that file. Wine takes the available
#                       memory from it (the total still from the host), so no
#                       squeeze is sized from the host's memory.
#   mount_meminfo       the script `pinned` runs: bash -c "$mount_meminfo" FILE
#                       COMMAND... (for a caller that needs COMMAND's own
#                       process id: unshare execs bash, which execs COMMAND)

desktop_xvfb=""
desktop_dir=""

desktop_begin() {
  desktop_dir=$1
  local size=${2:-800x600} screen=1024x768
  [ -n "${2:-}" ] && screen=$2
  rm -f "$desktop_dir/display"
  # Xvfb writes its display number to descriptor 7 once clients can connect.
  Xvfb -displayfd 7 -screen 0 "${screen}x24" -nolisten tcp \
    7>"$desktop_dir/display" </dev/null >/dev/null 2>&1 &
  desktop_xvfb=$!
  desktop_display_known() { [ -s "$desktop_dir/display" ]; }
  poll 10 desktop_display_known || return 1
  DISPLAY=":$(head -n 1 "$desktop_dir/display")"
  export DISPLAY
  win reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d "$size" /f >/dev/null
  win reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null
  wine explorer "/desktop=shell,$size" </dev/null >/dev/null 2>&1 &
  return 0
}

desktop_end() {
  if [ -n "$desktop_xvfb" ]; then
    kill "$desktop_xvfb" 2>/dev/null
    wait "$desktop_xvfb" 2>/dev/null
    desktop_xvfb=""
  fi
}

shot() { import -display "$DISPLAY" -window root "$1" 2>/dev/null; }
pixels() { convert "$1" -crop "$2" +repage txt:- 2>/dev/null | grep -v '^#'; }
taskbar() { pixels "$1" 800x20+0+580; }
taskbar_shown() {
  shot "$desktop_dir/now.png" && taskbar "$desktop_dir/now.png" | grep -qv '#000000'
}

pin_memory() {  # pin_memory FILE [AVAILABLE_MB [TOTAL_KB]]
  pinned_meminfo=$1
  local kb=$((${2:-400} * 1024))
  cat >"$pinned_meminfo" <<MEMINFO
MemTotal:        ${3:-1048576} kB
MemFree:         $kb kB
MemAvailable:    $kb kB
Buffers:               0 kB
Cached:                0 kB
SwapCached:            0 kB
SwapTotal:         65536 kB
SwapFree:          65536 kB
MEMINFO
}

# $0 is the file, "$@" the command.
# shellcheck disable=SC2016
mount_meminfo='mount --bind "$0" /proc/meminfo && exec "$@"'
pinned() { unshare -m bash -c "$mount_meminfo" "$pinned_meminfo" "$@"; }
