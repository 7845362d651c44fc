#!/usr/bin/env bash
# Interim demo: builds everything, then runs the box (boxsim) with its fixture plugin: a window
# when a display is there, otherwise a scripted headless run whose screenshots land in a folder
# that it prints. Environment: VITREL_BUILD_DIR (default build/default), JOBS (default nproc).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh build
build_dir=${VITREL_BUILD_DIR:-build/default}
jobs=${JOBS:-$(nproc)}
if [ "$build_dir" = build/default ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs"
else
  cmake --preset default -B "$build_dir" >/dev/null
  cmake --build "$build_dir" -j "$jobs" --target boxsim boxsim_test_plugin gx9
fi

boxsim=$build_dir/boxsim
plugin=$build_dir/boxsim_test_plugin.so
config=$(mktemp)
trap 'rm -f "$config"' EXIT
printf 'icsHost=demo.example icsPort=5000 icsHandle=demo icsPasswd=secret\n' >"$config"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: a window; keys as its legend shows, Esc or closing the window ends it"
  exec "$boxsim" --window --plugin "$plugin" --config "$config"
fi

out=$(pwd)/out/demo-$(date +%Y%m%d-%H%M%S)
mkdir -p "$out"
status=0
"$boxsim" --headless --plugin "$plugin" --config "$config" --shot-dir "$out" --timeout 60 -e '
  expect 20 20 "ready"
  shot start
  type 1 2 3; press LEFT
  expect 20 300 "key 11"
  restart
  expect 20 340 "restarts 1"
  shot keys
  exit' || status=$?
echo "demo: boxsim ended with status $status (7: the fixture plugin saw the restart)"
echo "demo: screenshots (TV indexed PNG, LCD 1-bit PNG) in $out:"
ls "$out"
