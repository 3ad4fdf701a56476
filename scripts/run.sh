#!/usr/bin/env bash
# Builds Velmora and runs velsim on a bundled scenario: a 512 MB machine whose
# memory load rises into the top band and falls again. Pass another scenario
# file to run that instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target velsim >/dev/null
build/native/tools/velsim/velsim "${1:-examples/rising-load-512mb.json}"
