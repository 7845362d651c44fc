#!/usr/bin/env bash
# Measures what the plugin's drawing costs in instructions, which do not depend on the machine's
# load: boxsim runs headless under valgrind's callgrind against a scripted server that replays a
# game to an observer, a board line every PLY seconds, then closes the connection; the plugin's
# cursor stays on d2, where a piece stands throughout. Prints, from the profile
# (bench/callgrind_costs.py): instructions per board line (ReadBoardLine, the style-12 branch of
# ProcessIcsLine, inclusive), per LCD pass (lcd_draw_current_piece, inclusive), and the plugin's
# own instructions per pixel painted by the flood fill.
#
# The replayed bytes are recorded first from a real ficsd: two guests play bench/observed_game.py's
# fixed 60-ply game while a third observes game 1, and the recording is what that observer received.
# Usage: scripts/measure_cost.sh [PLY_SECONDS]   (0.5 by default)
# Environment: VITREL_BUILD_DIR (default build/default; boxsim, libgx9.so, vitrel3.so and ficsd
# are built there if needed), VITREL_KEEP_PROFILE=FILE keeps the callgrind profile as FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

ply_seconds=${1:-0.5}
# shellcheck source=scripts/measure_lib.sh
source scripts/measure_lib.sh
command -v valgrind >/dev/null || { echo "measure_cost: valgrind is not installed" >&2; exit 1; }
measure_start cost

# 1. The recording: the game played on ficsd at full speed, seen by an observer.
"$build_dir/ficsd" --port 0 --no-computer --seed 3 >"$work/ficsd.log" 2>&1 &
pids+=($!)
port=$(listening_port "$work/ficsd.log" $!) || fail "ficsd did not start"
python3 bench/observed_game.py play --port "$port" --ply-seconds 0 --record "$work/game.rec" \
  >"$work/play.log" 2>&1 || fail "the game could not be played on ficsd"

# 2. The plugin observes the replay under callgrind; the run ends once it has reported the
# closed connection.
python3 bench/observed_game.py serve "$work/game.rec" --ply-seconds "$ply_seconds" --linger 3 \
  >"$work/serve.log" 2>&1 &
pids+=($!)
port=$(listening_port "$work/serve.log" $!) || fail "the scripted server did not start"
valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
  "$build_dir/boxsim" --headless --server "127.0.0.1:$port" --shot-dir "$work" --timeout 600 \
  -e 'expect 30 511 "Disconnected from ICS !!!" 9 500s; exit' >"$work/boxsim.log" 2>&1 ||
  fail "boxsim under callgrind failed"

echo "callgrind, boxsim headless observing a ${ply_seconds}-second replay of a 60-ply ficsd game:"
python3 bench/callgrind_costs.py "$work/callgrind.out"
if [ -n "${VITREL_KEEP_PROFILE:-}" ]; then
  cp "$work/callgrind.out" "$VITREL_KEEP_PROFILE"
fi
