#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the default build: unit, box, server and end-to-end tests;
#   2. the same under the address and undefined-behaviour sanitizers;
#   3. each libFuzzer harness for a short, fixed time;
#   4. the unit tests cross-built for big-endian PowerPC, run under qemu-user.
# Fails as soon as one step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/deps.sh build box fuzz cross

step() {
  echo
  echo "=== $* ($(date +%H:%M:%S))"
}

run_preset() {
  local preset=$1
  step "$preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  step "$preset: tests"
  ctest --preset "$preset" -j "$jobs"
}

run_preset default
run_preset asan

step "fuzz: each harness for a short time"
bash scripts/fuzz.sh 20

step "ppc: unit tests under qemu-user"
bash scripts/cross.sh ppc

step "all tests passed"
