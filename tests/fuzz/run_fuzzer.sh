#!/usr/bin/env bash
# Runs one fuzzer for a fixed number of inputs, starting from its committed
# seeds (and its dictionary, when there is one beside them). Inputs it finds
# go to a temporary folder, so a run never adds files to the repository; an
# input that fails is kept under the artifacts folder to be replayed with
# "FUZZER FILE".
#
#   run_fuzzer.sh FUZZER SEEDS RUNS ARTIFACTS
set -euo pipefail
fuzzer=$1
seeds=$2
runs=$3
artifacts=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"

options=(-runs="$runs" -seed="${VELMORA_FUZZ_SEED:-1}" -print_final_stats=1
  -artifact_prefix="$artifacts/$(basename "$fuzzer")-")
if [ -f "$seeds.dict" ]; then
  options+=(-dict="$seeds.dict")
fi
"$fuzzer" "${options[@]}" "$work" "$seeds"
