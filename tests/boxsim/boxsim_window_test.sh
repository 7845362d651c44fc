#!/usr/bin/env bash
# The window under a virtual X server: boxsim opens it, a script's keys reach the plugin while
# it shows, and SIGINT and SIGTERM still reach the plugin's own handlers.
# Usage: boxsim_window_test.sh XVFB_RUN BOXSIM TEST_PLUGIN. Exit 77: skipped.
set -u

# Inside the X server: a window run that gets SIGINT and SIGTERM once the plugin is up.
if [ "${1:-}" = --signals-inside ]; then
    boxsim=$2 plugin=$3 dir=$4
    "$boxsim" --window --plugin "$plugin" --shot-dir "$dir/signals" --timeout 60 \
        -e 'expect 20 20 "ready"; shot up; expect 20 400 "signals 2" 20s' &
    box=$!
    for _ in $(seq 300); do [ -f "$dir/signals/up-lcd.png" ] && break; sleep 0.1; done
    kill -INT "$box"
    kill -TERM "$box"
    wait "$box"
    exit
fi

xvfb_run=$1 boxsim=$2 plugin=$3
command -v "$xvfb_run" >/dev/null || { echo "no xvfb-run: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

fail() { cat "$dir/stderr.txt"; echo "$1"; exit 1; }

# A script runs on its own thread, pressing keys while the window shows the box.
"$xvfb_run" -a -s "-screen 0 1280x720x24" "$boxsim" --window --plugin "$plugin" \
    --shot-dir "$dir" --timeout 60 \
    -e 'expect 20 20 "ready"; press 7; expect 20 300 "key 07"; wait 500ms; shot window' \
    2>"$dir/stderr.txt"
status=$?
grep -q "no window" "$dir/stderr.txt" && fail "the window did not open"
[ "$status" -eq 0 ] || fail "boxsim ended with $status"
[ -f "$dir/window.png" ] && [ -f "$dir/final.png" ] || fail "shots missing"

# Signals are the plugin's in a window too: SDL must not turn them into a quit.
"$xvfb_run" -a "$0" --signals-inside "$boxsim" "$plugin" "$dir" 2>"$dir/stderr.txt"
status=$?
[ "$status" -eq 0 ] || fail "signals in a window: boxsim ended with $status"
echo "window runs ok"
