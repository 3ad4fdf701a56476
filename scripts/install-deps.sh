#!/usr/bin/env bash
# Installs the Debian packages that the builds and tests need. Quiet and quick
# when everything is there already; run as root.
set -euo pipefail

packages=(
  g++ make cmake
  clang libclang-rt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  mingw-w64 wine xvfb imagemagick python3
  fp-utils nsis wixl msitools
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
