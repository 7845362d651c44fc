#!/usr/bin/env bash
# Builds the plugin, the stand-in host library and the unit tests for a box's CPU, runs the tests
# under qemu-user, and packs the box tarball.
# Usage: scripts/cross.sh [ppc|arm|all]   (ppc by default: big-endian PowerPC)
# The build goes to build/<preset>, or to $VITREL_CROSS_BUILD_DIR when set (one leg only).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

case "${1:-ppc}" in
  ppc | arm) legs=("${1:-ppc}") ;;
  all) legs=(ppc arm) ;;
  *) echo "usage: $0 [ppc|arm|all]" >&2; exit 2 ;;
esac
if [ -n "${VITREL_CROSS_BUILD_DIR:-}" ] && [ ${#legs[@]} -gt 1 ]; then
  echo "$0: VITREL_CROSS_BUILD_DIR names one build folder: run one leg at a time" >&2
  exit 2
fi

bash scripts/deps.sh build cross

run_leg() {
  local preset=$1
  local dir=${VITREL_CROSS_BUILD_DIR:-build/$preset}
  local started=$SECONDS
  echo "=== $preset: configure and build ($dir)"
  cmake --preset "$preset" -B "$dir" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "=== $preset: tests under emulation"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 900
  echo "=== $preset: box tarball"
  cmake --build "$dir" --target box_tarball >/dev/null
  local plugin="$dir/box-root/var/mirlon/plugins/vitrel3.so"
  echo "$preset: $(ls "$dir"/vitrel3-*.tar.gz), stripped plugin $(stat -c %s "$plugin") bytes"
  echo "$preset: done in $((SECONDS - started)) s"
}

for leg in "${legs[@]}"; do
  run_leg "$leg"
done
