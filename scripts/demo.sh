#!/usr/bin/env bash
# The demo: builds everything, starts the local chess server ficsd on a free loopback port and
# the box (boxsim) with the plugin configured for it. With a display: the window, ready to play
# the computer. Without one: a scripted game played with remote keys to its end, with
# screenshots of the TV and the LCD at the key moments, in a folder that it prints.
# Environment: VITREL_BUILD_DIR (another build folder: only the demo's targets are built there).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh build box demo
build_dir=${VITREL_BUILD_DIR:-build/default}
if [ "$build_dir" = build/default ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$(nproc)"
else
  cmake --preset default -B "$build_dir" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" --target boxsim gx9 vitrel3 ficsd
fi

out=$(pwd)/out/demo-$(date +%Y%m%d-%H%M%S)
mkdir -p "$out"
server_pid=
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap stop_server EXIT

# Starts ficsd with the given options on a free port; sets $port from its "listening" line.
start_server() {
  "$build_dir/ficsd" --port 0 --log "$out/server-received.log" "$@" >"$out/ficsd.log" 2>&1 &
  server_pid=$!
  port=
  for _ in $(seq 1 300); do
    port=$(sed -n 's/^ficsd: listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$out/ficsd.log")
    [ -n "$port" ] && return 0
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: ficsd did not start:" >&2
  cat "$out/ficsd.log" >&2
  exit 1
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # The computer plays with the installed UCI engine (the built-in mover when there is none).
  start_server
  echo "demo: ficsd on 127.0.0.1:$port; the box's window opens."
  echo "demo: to play the computer: YELLOW (F3 or Y), RIGHT RIGHT RIGHT DOWN to \"seek \", OK"
  echo "      (Enter); then arrows and OK on a piece and on its target. Esc or closing the"
  echo "      window ends the demo."
  status=0
  "$build_dir/boxsim" --window --server "127.0.0.1:$port" --shot-dir "$out" || status=$?
  exit "$status"
fi

# Headless: the built-in mover with a fixed seed answers 1.f3 with e5 and 2.g4 with Qh4 mate,
# so the key script knows the game. Every step waits for what the screen shows.
start_server --engine none --seed 9 --computer-seek-delay 500
echo "demo: no display; ficsd on 127.0.0.1:$port, boxsim plays a scripted game headless"
script='
  expect 30 511 "Width set to 73." 9 60s
  shot 01-logged-in
  # YELLOW opens the command picker; three tens and one down reach "seek ".
  press YELLOW
  press RIGHT; press RIGHT; press RIGHT; press DOWN
  expect 100 532 "seek " 10 20s
  shot 02-picker-seek
  press OK
  # The computer takes the seek: a 2 12 game, the guest plays White. The cursor shows on d2.
  expect 470 109 "  02:00  <-->  02:00  " 10 60s
  expect-pixel 213 355 13 60s
  shot 03-game-started
  # f2-f3: two steps right, OK on the pawn, one up, OK on the target.
  press RIGHT; press RIGHT
  expect-pixel 309 355 13 20s
  press OK
  press UP
  expect-pixel 309 307 13 20s
  shot 04-pawn-selected
  press OK
  expect 470 164 "Last move:  P/e7-e5    " 10 60s
  shot 05-computer-answered
  # g2-g4, and the queen mates on h4.
  press RIGHT; press DOWN
  expect-pixel 357 355 13 20s
  press OK
  press UP; press UP
  expect-pixel 357 259 13 20s
  press OK
  expect 30 511 "No ratings adjustment done." 9 60s
  shot 06-checkmated
  # RED: the full telnet window with the whole session.
  press RED
  wait 1s
  shot 07-telnet-window
  exit
'
status=0
"$build_dir/boxsim" --headless --server "127.0.0.1:$port" --shot-dir "$out" --timeout 180 \
  -e "$script" >"$out/boxsim.log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  echo "demo: the scripted game stopped early (boxsim status $status):" >&2
  cat "$out/boxsim.log" >&2
  echo "demo: screenshots so far in $out" >&2
  exit "$status"
fi
echo "demo: the game was played to mate (1.f3 e5 2.g4 Qh4#); what the server received:"
sed 's/^/  /' "$out/server-received.log"
echo "demo: screenshots in $out"
echo "  NAME.png is the TV (indexed PNG: each pixel's index is the plugin's palette colour),"
echo "  NAME-lcd.png the front-panel LCD (1 bit per pixel); final.png is the screen at the end."
ls "$out" | grep '\.png$' | sed 's/^/  /'
