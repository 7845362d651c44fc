# Sourced by the measure_*.sh scripts: the build they need, a scratch folder that goes at exit
# with the processes started into it, and waits on what a log says.
# measure_start NAME sets build_dir (VITREL_BUILD_DIR, default build/default), builds boxsim,
# libgx9.so, vitrel3.so and ficsd there if needed, and sets work (the scratch folder) and pids
# (processes to end at exit). A script may define stop_extra to end processes of its own first.

measure_start() {
  measure_name=$1
  build_dir=${VITREL_BUILD_DIR:-build/default}
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake --preset default -B "$build_dir" >/dev/null
  fi
  cmake --build "$build_dir" -j2 --target boxsim gx9 vitrel3 ficsd >/dev/null
  work=$(mktemp -d "/tmp/vitrel-$measure_name-XXXXXX")
  pids=()
  trap measure_cleanup EXIT
}

measure_cleanup() {
  if declare -F stop_extra >/dev/null; then stop_extra; fi
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}

# Says what failed, shows the end of every log in the scratch folder, and exits.
fail() {
  echo "measure_$measure_name: $*" >&2
  for log in "$work"/*.log; do
    [ -f "$log" ] && { echo "--- $log" >&2; tail -20 "$log" >&2; }
  done
  exit 1
}

# Waits up to $2 seconds for a line matching the extended regex $3 in file $1.
wait_for_line() {
  local file=$1 seconds=$2 pattern=$3
  for _ in $(seq 1 $((seconds * 10))); do
    grep -Eiq "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to $3 seconds for file $1 (a screenshot boxsim writes) while process $2 lives.
wait_for_file() {
  local file=$1 pid=$2 seconds=$3
  for _ in $(seq 1 $((seconds * 10))); do
    [ -f "$file" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Waits for "NAME: listening on 127.0.0.1:PORT" in log $1 while process $2 lives; prints PORT.
listening_port() {
  local log=$1 pid=$2 port=
  for _ in $(seq 1 300); do
    port=$(sed -n 's/^.*: listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$log")
    [ -n "$port" ] && { echo "$port"; return 0; }
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}

# utime + stime in clock ticks of /proc/PID/stat or /proc/PID/task/TID/stat (after the comm).
cpu_ticks() { sed 's/^.*) //' "$1" 2>/dev/null | awk '{ print $12 + $13 }'; }
