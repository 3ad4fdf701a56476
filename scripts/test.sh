#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the presets, runs the unit
# tests and velsim's checks on the Linux host, runs them again built with
# AddressSanitizer and UndefinedBehaviorSanitizer together with a fixed number of
# inputs for each fuzzer, and runs the Win32 layer's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows
