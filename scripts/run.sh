#!/usr/bin/env bash
# Builds Velmora and runs the service under Wine: installs velsvc in its own
# Wine prefix (build/wine-prefix-service), starts it, prints -info and leaves it
# running. Run as root on Debian; installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$PWD/build/wine-prefix-service"
if [ ! -d "$WINEPREFIX" ]; then
  echo "Creating the Wine prefix $WINEPREFIX ..."
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
fi
# The server (and with it the service manager and the service) stays up.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

folder="$WINEPREFIX/drive_c/Program Files/Velmora"
mkdir -p "$folder"
velsvc='C:\Program Files\Velmora\velsvc.exe'
# A running service keeps its program file open: stop it before replacing it.
wine "$velsvc" -stop </dev/null >/dev/null 2>&1 || true
cp build/windows/velsvc.exe "$folder/velsvc.exe"

# Wine reports the whole host's memory, and the first tick's periodic boost
# would briefly take most of it: here the boost comes only every 20000
# maintenance rounds (about 4 years).
wine reg add 'HKLM\SOFTWARE\Quorlex\Velmora' /v AutoOptHour /t REG_DWORD /d 30000 /f \
  </dev/null >/dev/null 2>&1

wine "$velsvc" -start </dev/null 2>/dev/null | sed 's/\r$//'
wine "$velsvc" -info </dev/null 2>/dev/null | sed 's/\r$//'
echo "The service keeps running. To stop and remove it: WINEPREFIX=$WINEPREFIX wine '$velsvc' -remove && WINEPREFIX=$WINEPREFIX wineserver -k"
echo "The setup program with all three programs and the help: build/windows/velmora-1.0.0-setup.exe (/S installs silently)."
