#!/usr/bin/env bash
# velsvc under Wine, as a user sees it: the switches and their messages byte for
# byte, the service entry, the running service with its presence mutex and its
# settings, the reload control, and stopping and removing it.
#
#   velsvc_test.sh VELSVC.EXE SVC_PROBE.EXE
set -u
velsvc_exe=$1
probe_exe=$2
source "$(dirname "$0")/wine-prefix.sh"


prefix_begin wine-prefix-velsvc
# A folder with a blank, so that the service path must be quoted.
folder="$WINEPREFIX/drive_c/Program Files/Velmora Test"
mkdir -p "$folder"
cp "$velsvc_exe" "$folder/velsvc.exe"
cp "$probe_exe" "$WINEPREFIX/drive_c/svc_probe.exe"
velsvc='C:\Program Files\Velmora Test\velsvc.exe'
probe() { win 'C:\svc_probe.exe' "$@"; }
regvalue() {  # the DWORD value NAME of the settings as a decimal number, or nothing
  local hex
  hex=$(win reg query 'HKLM\SOFTWARE\Quorlex\Velmora' /v "$1" | awk -v name="$1" '$1 == name { print $3 }')
  [ -n "$hex" ] && printf '%d' "$hex"
}
# check_said NAME EXPECTED ARGUMENT...: velsvc's whole output, trailing line
# breaks included, against EXPECTED.
check_said() {
  local name=$1 expected=$2
  shift 2
  check "$name" "$expected." "$(win "$velsvc" "$@"; echo .)"
}

banner=$'\nVelmora Service 1.0: keeps the system file cache in bounds and frees memory.\nCopyright (c) 2026 Quorlex.\n'
usage_rest=$'-remove : to remove the service.\nIf service is running it will be stopped.\n\n-stop : to stop the service\n\n-start : starts the service.\nIf service is not installed it will be installed.\n\n-info : Current service status information.\n\n'
usage=$'\n-install : to install the service.\n\n'"$usage_rest"
installed_info="$banner"$'Velmora Service is installed.\nService display name is Velmora Performance Optimizer and Tuner Service\nService Executable Path is "C:\\Program Files\\Velmora Test\\velsvc.exe"\n'

# Nothing is left over from an earlier run: the prefix is fresh.
check_said "info before install" "$banner"$'Velmora Service is not Installed.\n'"$usage" -info
check "state before install" "absent" "$(probe state)"
check_said "unknown switch" $'\nUnknown arguments. Supported are..\n-install : to install the service.\n\n'"$usage_rest" -x
check_said "switch without a dash" "" install info
check "still not installed" "absent" "$(probe state)"
check_said "stop when not installed" $'Service is not installed....\n' -stop

# Every run reads the settings and creates the missing values with this
# machine's defaults (Wine reports the host's memory).
total=$(( $(awk '/^MemTotal:/ { print $2 }' /proc/meminfo) * 1024 ))
check "RamAvailable default" "$((total >> 23))" "$(regvalue RamAvailable)"
check "MaxCacheSize default" "$(( (total / 102400 * 78) & ~511 ))" "$(regvalue MaxCacheSize)"
check "defaults" "0 0 1 12 72 1" "$(regvalue Settings) $(regvalue MemoryZipperPlus) $(regvalue DataSafe) $(regvalue CacheUsage) $(regvalue BasedOnRam) $(regvalue CacheCheck)"

check_said "install" $'Service installed now verifying the installation...\r\nService sucessfully installed...\n' -install
check "installed, stopped" "1 0" "$(probe state)"
check_said "info: installed, path quoted" "$installed_info"$'Velmora Service is not running currently.\n'"$usage" /INFO

# The first tick's periodic boost would squeeze most of this machine's memory:
# with AutoOptHour 30000 it comes only after 20000 maintenance rounds.
win reg add 'HKLM\SOFTWARE\Quorlex\Velmora' /v AutoOptHour /t REG_DWORD /d 30000 /f >/dev/null
check_said "start" $'Service sucessfully installed and running...\n' -Start
check "running" "4 1024" "$(probe state)"
check "presence mutex" "exists" "$(probe mutex)"
check_said "info: running" "$installed_info"$'Velmora Service is running.\n'"$usage" -info

# Control 144 re-reads the settings without stopping: a value deleted from
# outside is written back by the reload.
win reg delete 'HKLM\SOFTWARE\Quorlex\Velmora' /v Settings /f >/dev/null
check "Settings deleted" "" "$(regvalue Settings)"
check "reload control" "ok 4 1024" "$(probe control 144)"
check "Settings written back by the reload" "0" "$(regvalue Settings)"
check "still running after reload" "4 1024" "$(probe state)"
check "status query" "ok 4 0" "$(probe control 128)"

# Two switches in one line: stop, then start from the installed path.
check_said "stop and start" $'Service Stopped successfully.\nService sucessfully installed and running...\n' -stop -start
check "running again" "4 1024" "$(probe state)"

# Reinstalling over the running service: the old entry is only marked for
# deletion until the service has stopped, so the new one is created once the
# old one has gone. -install leaves it installed and stopped.
deleted=$'Deleted the old installed Service.\nNow installing the new Service again...\nPlease wait...\n'
reinstalled="$deleted"$'Service installed now verifying the installation...\r\nService sucessfully installed...\n'
check_said "install over the running service" "$reinstalled" -install
sleep 1
check "reinstalled, stopped" "1 0" "$(probe state)"
check "reinstalled from the quoted path" '"C:\Program Files\Velmora Test\velsvc.exe"' "$(probe path)"
check_said "start after the reinstall" $'Service sucessfully installed and running...\n' -start
check "running after the reinstall" "4 1024" "$(probe state)"

# -start typed as the relative name in the program's folder: argument 0 is not
# the stored path, so the running service is reinstalled and started again.
check "start by the relative name" "$reinstalled"$'Service sucessfully installed and running...\n.' \
  "$(win cmd /c cd /d 'C:\Program Files\Velmora Test' '&&' velsvc -start; echo .)"
sleep 1
check "running after the relative start" "4 1024" "$(probe state)"
check "started from the quoted path" '"C:\Program Files\Velmora Test\velsvc.exe"' "$(probe path)"

# A stop control takes effect within about one pass of the loop.
stop_reply=$(probe control 1)
check "stop control" "ok 3 2048" "$stop_reply"
start=$(date +%s%N)
state=""
for _ in $(seq 1 50); do
  state=$(probe state)
  [ "$state" = "1 2048" ] && break
  sleep 0.1
done
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "stopped" "1 2048" "$state"
echo "stop took ${elapsed_ms} ms after the control was accepted"
sleep 1
check "presence mutex gone" "absent" "$(probe mutex)"

check_said "remove" $'Sucessfully uninstalled the Service...\n' -remove
check "removed" "absent" "$(probe state)"

# -start of a program that is not installed installs it first.
check_said "start installs" $'Service installed now verifying the installation...\r\nService sucessfully installed...\nService sucessfully installed and running...\n' -start
check_said "remove a running service" $'Service is running...\nStopping the service...\nSucessfully uninstalled the Service...\n' -remove
check "gone" "absent" "$(probe state)"
check "every run exits with 0" "0" "$(win "$velsvc" -x >/dev/null; echo $?)"

prefix_end
leftover=$(prefix_pids | wc -l)
check "nothing left running" "0" "$leftover"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
