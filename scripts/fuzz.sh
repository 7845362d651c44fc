#!/usr/bin/env bash
# Builds the libFuzzer harnesses (preset "fuzz": clang-14, address and undefined-behaviour
# sanitizers) and runs each for a fixed time over a copy of its seed corpus, so that runs never
# grow the committed corpus. Fails when any harness finds a crash, a hang or a broken invariant;
# the input that did it is kept in build/fuzz/artifacts/<harness>/.
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]   (20 seconds each; all harnesses)
#   Harnesses: server_stream, config, keys.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(server_stream config keys)

case "$seconds" in
  ''|*[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number, not \"$seconds\"" >&2; exit 2 ;;
esac

scripts/deps.sh build fuzz
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target fuzzers

work=$(mktemp -d "${TMPDIR:-/tmp}/vitrel-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

failed=()
for name in "${harnesses[@]}"; do
  binary=build/fuzz/fuzz/fuzz_$name
  seeds=fuzz/corpus/$name
  if [ ! -x "$binary" ] || [ ! -d "$seeds" ]; then
    echo "fuzz.sh: no harness \"$name\" (want $binary and $seeds)" >&2
    exit 2
  fi
  corpus=$work/$name
  artifacts=build/fuzz/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  cp "$seeds"/* "$corpus"/
  echo "== $name: ${seconds}s over $(ls "$corpus" | wc -l) seeds"
  log=$work/$name.log
  # -timeout: a dialog that never returns is a hang, reported like a crash.
  if "$binary" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
       -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
  else
    tail -60 "$log"
    echo "fuzz.sh: $name FAILED; the input is in $artifacts/ (rerun: $binary FILE)" >&2
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: all harnesses passed"
