#!/usr/bin/env bash
# Measures what an idle box costs: boxsim runs headless with the plugin against a local ficsd,
# plays 1.f3 against the computer with remote keys, and then, with the game on the board and
# White's clock running, presses nothing for SECONDS (60 by default). The CPU time the process
# used over that window (utime + stime from /proc/PID/stat) is divided by the wall time, in
# total and per thread: the main thread is boxsim's headless driver, the other its plugin thread.
# Usage: scripts/measure_idle.sh [SECONDS]
# Environment: VITREL_BUILD_DIR (default build/default; boxsim, libgx9.so, vitrel3.so and ficsd
# are built there if needed).
set -euo pipefail
cd "$(dirname "$0")/.."

idle_seconds=${1:-60}
# shellcheck source=scripts/measure_lib.sh
source scripts/measure_lib.sh
measure_start idle

# The built-in mover with seed 9 answers 1.f3 with e5 (a fixed game, as in the demo).
"$build_dir/ficsd" --port 0 --engine none --seed 9 --computer-seek-delay 0 \
  --log "$work/server-received.log" >"$work/ficsd.log" 2>&1 &
pids+=($!)
port=$(listening_port "$work/ficsd.log" $!) || fail "ficsd did not start"

# The cursor starts on d2; MUTE (no action) keeps the repeat lock from taking the second RIGHT
# for the first. The cursor's outline pixel of a square is checked before each OK.
script="expect 30 511 \"Width set to 73.\" 9 60s;
press YELLOW; press RIGHT; press MUTE; press RIGHT; press MUTE; press RIGHT; press DOWN;
expect 100 532 \"seek \" 10 30s; press OK;
expect 470 109 \"  02:00  <-->  02:00  \" 10 60s;
press RIGHT; press MUTE; press RIGHT; expect-pixel 309 355 13 20s; press OK;
press UP; expect-pixel 309 307 13 20s; press OK;
expect 470 164 \"Last move:  P/e7-e5\" 10 60s;
shot idle-start; wait $((idle_seconds + 10))s; exit"
"$build_dir/boxsim" --headless --server "127.0.0.1:$port" --shot-dir "$work" \
  --timeout $((idle_seconds + 180)) -e "$script" >"$work/boxsim.log" 2>&1 &
box_pid=$!
pids+=("$box_pid")

wait_for_file "$work/idle-start.png" "$box_pid" 180 || fail "the game did not reach the board"
sleep 1  # the shot's own encoding is not idle time

declare -A thread_start
for task in /proc/"$box_pid"/task/*; do
  thread_start[${task##*/}]=$(cpu_ticks "$task/stat")
done
process_start=$(cpu_ticks /proc/"$box_pid"/stat)
wall_start=$(date +%s.%N)
sleep "$idle_seconds"
process_end=$(cpu_ticks /proc/"$box_pid"/stat)
wall_end=$(date +%s.%N)
declare -A thread_end
for task in /proc/"$box_pid"/task/*; do
  thread_end[${task##*/}]=$(cpu_ticks "$task/stat")
done

ticks_per_second=$(getconf CLK_TCK)
wall=$(awk -v a="$wall_start" -v b="$wall_end" 'BEGIN { printf "%.2f", b - a }')
share() { awk -v t="$1" -v hz="$ticks_per_second" -v w="$wall" \
  'BEGIN { printf "%6.2f s CPU  %6.3f %% of one core", t / hz, 100 * t / hz / w }'; }

echo "idle window: ${wall} s wall, game on the board, no keys (ticks of 1/${ticks_per_second} s)"
echo "  boxsim process:          $(share $((process_end - process_start)))"
for tid in "${!thread_end[@]}"; do
  [ -n "${thread_start[$tid]:-}" ] || continue
  if [ "$tid" = "$box_pid" ]; then
    name="headless driver (main)"
  else
    name="plugin thread ($tid)"
  fi
  printf '  %-24s %s\n' "$name:" "$(share $((thread_end[$tid] - thread_start[$tid])))"
done

wait "$box_pid" && status=0 || status=$?
[ "$status" -eq 0 ] || fail "boxsim ended with status $status"
