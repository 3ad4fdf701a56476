#!/usr/bin/env bash
# velsim from the outside: the bundled examples give their recorded traces, and
# every broken scenario is refused with exit code 2, nothing on standard output
# and one line on standard error naming the field.
set -u
velsim=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

fail() {
  echo "FAIL: $*"
  failed=$((failed + 1))
}

for example in "$root"/examples/*.json; do
  name=$(basename "$example" .json)
  expected="$root/tests/velsim/expected/$name.jsonl"
  if ! "$velsim" "$example" >"$work/out" 2>"$work/err"; then
    fail "$name: exit code $?"
  elif ! cmp -s "$work/out" "$expected"; then
    fail "$name: trace differs from $expected"
    diff "$expected" "$work/out" | head -20
  elif ! "$velsim" - <"$example" | cmp -s - "$expected"; then
    fail "$name: trace from standard input differs"
  else
    passed=$((passed + 1))
  fi
done

while IFS=$'\t' read -r field scenario; do
  case "$field" in '#'* | '') continue ;; esac
  printf '%s' "$scenario" >"$work/bad.json"
  "$velsim" "$work/bad.json" >"$work/out" 2>"$work/err"
  code=$?
  lines=$(wc -l <"$work/err")
  if [ "$code" -ne 2 ]; then
    fail "exit code $code for: $scenario"
  elif [ -s "$work/out" ]; then
    fail "standard output not empty for: $scenario"
  elif [ "$lines" -ne 1 ] || ! grep -qF "velsim: $field:" "$work/err"; then
    fail "expected one line naming $field, got '$(cat "$work/err")' for: $scenario"
  else
    passed=$((passed + 1))
  fi
done <"$root/tests/velsim/bad-scenarios.txt"

"$velsim" "$work/missing.json" >"$work/out" 2>"$work/err"
code=$?
if [ "$code" -ne 2 ] || [ -s "$work/out" ]; then
  fail "a missing file gave exit code $code"
else
  passed=$((passed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
