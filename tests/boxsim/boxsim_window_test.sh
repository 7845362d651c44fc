#!/usr/bin/env bash
# The window under a virtual X server: boxsim opens it, a script's keys reach the plugin while it
# shows, and SIGINT and SIGTERM still reach the plugin's own handlers (SDL must not quit on them).
# Usage: boxsim_window_test.sh XVFB_RUN BOXSIM TEST_PLUGIN. Exit 77: skipped.
set -u

# Inside the X server: a window run that gets SIGINT and SIGTERM once the plugin is up.
if [ "${1:-}" = --signals-inside ]; then
    "$2" --window --plugin "$3" --shot-dir "$4/signals" --timeout 60 \
        -e 'expect-pixel 100 140 13; shot up; expect-pixel 14 10 2 20s' &
    for _ in $(seq 300); do [ -f "$4/signals/up-lcd.png" ] && break; sleep 0.1; done
    kill -INT $! && kill -TERM $!
    wait $!
    exit
fi

xvfb_run=$1 boxsim=$2 plugin=$3
command -v "$xvfb_run" >/dev/null || { echo "no xvfb-run: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { cat "$dir/stderr.txt"; echo "$1"; exit 1; }

"$xvfb_run" -a -s "-screen 0 1280x720x24" "$boxsim" --window --plugin "$plugin" \
    --shot-dir "$dir" --timeout 60 \
    -e 'expect-pixel 100 140 13; press 7; expect-pixel 10 10 7; wait 500ms; shot window' \
    2>"$dir/stderr.txt" || fail "boxsim ended with $?"
grep -q "no window" "$dir/stderr.txt" && fail "the window did not open"
[ -f "$dir/window.png" ] && [ -f "$dir/final.png" ] || fail "shots missing"
"$xvfb_run" -a "$0" --signals-inside "$boxsim" "$plugin" "$dir" 2>"$dir/stderr.txt" ||
    fail "signals in a window: boxsim ended with $?"
echo "window runs ok"
