#!/usr/bin/env bash
# The window under a virtual X server: boxsim opens it, keys typed as a script reach the
# plugin through it, and a screenshot of the X screen shows the TV picture and the LCD panel.
# Usage: boxsim_window_test.sh XVFB_RUN BOXSIM TEST_PLUGIN. Exit 77: skipped.
set -u
xvfb_run=$1 boxsim=$2 plugin=$3
command -v "$xvfb_run" >/dev/null || { echo "no xvfb-run: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# A window run with a script: the script thread presses keys while the window shows them.
"$xvfb_run" -a -s "-screen 0 1280x720x24" "$boxsim" --window --plugin "$plugin" \
    --shot-dir "$dir" --timeout 60 \
    -e 'expect 20 20 "ready"; press 7; expect 20 300 "key 07"; wait 500ms; shot window' \
    2>"$dir/stderr.txt"
status=$?
if grep -q "no window" "$dir/stderr.txt"; then
    cat "$dir/stderr.txt"; echo "the window did not open"; exit 1
fi
if [ "$status" -ne 0 ]; then
    cat "$dir/stderr.txt"; echo "boxsim ended with $status"; exit 1
fi
[ -f "$dir/window.png" ] && [ -f "$dir/final.png" ] || { echo "shots missing"; exit 1; }
echo "window run ok"
