#!/usr/bin/env bash
# The plugin beside a desktop client: boxsim (headless, the plugin observing by remote keys) and
# Debian's xboard (ICS mode under xvfb-run) both observe one game on a local ficsd, which two
# guests of bench/observed_game.py play, a ply every PLY seconds (1.5 by default, 60 plies).
# Prints the CPU time (utime + stime from /proc) each client used over the same SECONDS (60 by
# default) while the game runs, and then over SECONDS more once it is over and both sit idle.
# For boxsim the plugin's thread is shown too; xboard's X server (Xvfb) is shown apart.
# Usage: scripts/measure_xboard.sh [SECONDS] [PLY]
# Environment: VITREL_BUILD_DIR (default build/default; boxsim, libgx9.so, vitrel3.so and ficsd
# are built there if needed).
set -euo pipefail
cd "$(dirname "$0")/.."

window=${1:-60}
ply_seconds=${2:-1.5}
for tool in xvfb-run /usr/games/xboard; do
  command -v "$tool" >/dev/null || { echo "measure_xboard: $tool is not installed" >&2; exit 1; }
done
# shellcheck source=scripts/measure_lib.sh
source scripts/measure_lib.sh
measure_start xboard
box_pid=
xboard_pid=
xvfb_pid=
# boxsim's plugin takes SIGTERM as a message and runs on, so boxsim is killed outright; xboard
# and its X server are ended by their own ids, since xvfb-run's shell does not pass a signal on.
stop_extra() {
  [ -n "$box_pid" ] && kill -KILL "$box_pid" 2>/dev/null
  for pid in $xboard_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
  done
}

"$build_dir/ficsd" --port 0 --no-computer --seed 3 --log "$work/received.log" \
  >"$work/ficsd.log" 2>&1 &
pids+=($!)
port=$(listening_port "$work/ficsd.log" $!) || fail "ficsd did not start"

# The players create game 1 and wait for the start flag before the first move.
python3 bench/observed_game.py play --port "$port" --ply-seconds "$ply_seconds" \
  --start-flag "$work/start" >"$work/play.log" 2>&1 &
pids+=($!)
wait_for_line "$work/play.log" 30 'game 1 created' || fail "the players did not start a game"

# The plugin: BLUE, "OBSERVE 1" by multi-tap (O 6x3, B 2x2, S 7x4, E 3x2, R 7x3, V 8x3, E 3x2,
# space 0, 1 1), OK, the server's answer in the telnet window; then it stays on the board view.
game_seconds=$(awk -v p="$ply_seconds" 'BEGIN { print int(60 * p) + 1 }')
seconds_total=$((window * 2 + game_seconds + 120))
script="expect 30 511 \"Width set to 73.\" 9 60s; press BLUE;
type 6 6 6; type 2 2; type 7 7 7 7; type 3 3; type 7 7 7; type 8 8 8; type 3 3; type 0; type 1;
expect 100 532 \"OBSERVE 1\" 10 30s; press OK;
expect 30 493 \"You are now observing game 1.\" 9 30s; shot observing; wait ${seconds_total}s; exit"
"$build_dir/boxsim" --headless --server "127.0.0.1:$port" --shot-dir "$work" \
  --timeout $((seconds_total + 60)) -e "$script" >"$work/boxsim.log" 2>&1 &
box_pid=$!
pids+=("$box_pid")

# xboard logs in as a guest and observes; "style 12" is sent plainly as well, for a server that
# does not take xboard's own "$style 12".
printf 'guest\n\nstyle 12\nobserve 1\n' >"$work/logon"
# shellcheck disable=SC2016 # the inner shell expands $$, $1 and $2
HOME=$work xvfb-run -a sh -c 'echo $$ >"$1/xboard.pid"; exec /usr/games/xboard -ics \
  -icshost 127.0.0.1 -icsport "$2" -icslogon "$1/logon" -debug -nameOfDebugFile "$1/xboard.debug"' \
  sh "$work" "$port" >"$work/xboard.log" 2>&1 &
pids+=($!)
wait_for_line "$work/xboard.pid" 30 '^[0-9]+$' || fail "xboard did not start"
xboard_pid=$(cat "$work/xboard.pid")
xvfb_pid=$(pgrep -x -P "$(ps -o ppid= -p "$xboard_pid" | tr -d ' ')" Xvfb || true)

# Both observe: the plugin shows the server's answer, xboard has received the game's board.
wait_for_file "$work/observing.png" "$box_pid" 60 || fail "the plugin did not observe game 1"
wait_for_line "$work/xboard.debug" 60 '<ICS: .*<12> ' || fail "xboard did not observe game 1"
plugin_tid=
for task in /proc/"$box_pid"/task/*; do
  if [ "${task##*/}" != "$box_pid" ]; then
    plugin_tid=${task##*/}
    break
  fi
done

touch "$work/start"
wait_for_line "$work/play.log" 30 'first move played' || fail "the game did not start"
sleep 2

ticks_per_second=$(getconf CLK_TCK)
sample() {
  echo "$(cpu_ticks /proc/"$box_pid"/stat) $(cpu_ticks /proc/"$box_pid"/task/"$plugin_tid"/stat)" \
    "$(cpu_ticks /proc/"$xboard_pid"/stat) $(cpu_ticks /proc/"$xvfb_pid"/stat 2>/dev/null || echo 0)" \
    "$(date +%s.%N)"
}
report() {
  local title=$1 before=$2 after=$3
  awk -v hz="$ticks_per_second" -v title="$title" -v a="$before" -v b="$after" 'BEGIN {
    split(a, s); split(b, e); wall = e[5] - s[5]
    printf "%s: %.2f s wall (ticks of 1/%d s)\n", title, wall, hz
    printf "  boxsim with the plugin: %5.2f s CPU (plugin thread %5.2f s)\n", (e[1]-s[1])/hz, (e[2]-s[2])/hz
    printf "  xboard:                 %5.2f s CPU (its Xvfb %5.2f s)\n", (e[3]-s[3])/hz, (e[4]-s[4])/hz
  }'
}

game_start=$(sample)
sleep "$window"
game_end=$(sample)
wait_for_line "$work/play.log" $((game_seconds + 60)) 'last move played' ||
  fail "the game did not end"
sleep 5
idle_start=$(sample)
sleep "$window"
idle_end=$(sample)

echo "ficsd game observed by both, a ply every ${ply_seconds} s:"
report "while the game runs" "$game_start" "$game_end"
report "after it, idle" "$idle_start" "$idle_end"
