# shellcheck shell=bash
# Shared by the benchmark scripts of tools/bench/ (sourced, not run): the build, hobnest-sim on a
# free loopback port, a virtual display of the script's own, a program folder, the processes a
# program started and their figures from /proc. Everything the scripts start is ended on exit.
#
# MIRABO_BUILD: the build folder to use (default: build/ of the work tree, configured when
# missing).

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench_build=${MIRABO_BUILD:-$bench_root/build}
bench_work=$(mktemp -d /tmp/mirabo-bench.XXXXXX)
bench_pids=()

bench_cleanup() {
  set +e
  local i p
  for ((i = ${#bench_pids[@]} - 1; i >= 0; i--)); do
    p=${bench_pids[i]}
    kill "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  rm -rf "$bench_work"
}
trap bench_cleanup EXIT

bench_fail() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

# Installs Debian packages that are missing (the scripts need a few beyond tools/deps.sh).
bench_need() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# Builds the given targets (RelWithDebInfo, as tools/build.sh does).
bench_build_targets() {
  "$bench_root/tools/deps.sh"
  [ -f "$bench_build/CMakeCache.txt" ] ||
    cmake -S "$bench_root" -B "$bench_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$bench_build" -j "$(nproc)" --target "$@" >"$bench_work/build.log" 2>&1 ||
    { cat "$bench_work/build.log" >&2; bench_fail "build failed: $*"; }
}

# Polls the command until it succeeds or the seconds have passed; false on the deadline.
bench_wait() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# Starts hobnest-sim on a free loopback port: sets sim_port and sim_log.
bench_start_sim() {
  sim_log=$bench_work/hobnest-sim.log
  "$bench_build/hobnest-sim/hobnest-sim" --port 0 >"$sim_log" 2>&1 &
  bench_pids+=("$!")
  bench_wait 10 grep -qs "^hobnest-sim: http://127.0.0.1:" "$sim_log" || bench_fail "no hobnest-sim"
  sim_port=$(sed -n 's|^hobnest-sim: http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$sim_log")
  homepage="http://127.0.0.1:$sim_port/@taro"
}

# Starts an Xvfb of the script's own on a free display number and exports DISPLAY.
bench_start_xvfb() {
  local fd_file=$bench_work/display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  bench_pids+=("$!")
  bench_wait 10 test -s "$fd_file" || bench_fail "no Xvfb"
  DISPLAY=:$(head -1 "$fd_file")
  export DISPLAY
  bench_wait 10 xdpyinfo >/dev/null 2>&1 || bench_fail "Xvfb does not answer"
}

# Makes a program folder for Mirabo at the stand-in site, for the member taro who has started
# before (no ID box).
bench_program_folder() {
  local dir=$1 role
  mkdir -p "$dir"
  for role in SITE HOMEPAGE APP BOARD UPDATE; do
    printf '%s = 127.0.0.1:%s\r\n' "$role" "$sim_port"
  done >"$dir/Hosts.txt"
  printf 'taro\r\n0\r\n' >"$dir/your.id"
  chmod 600 "$dir/your.id"
}

# Runs a program in the background with its stderr in a trace file whose first line is the
# monotonic time of the exec ("mirabo-trace: exec <µs>"); the program's own MIRABO_TRACE lines
# follow. Sets run_pid (the pid is the program's: perl execs it).
bench_run_traced() {
  local trace=$1
  shift
  perl -MTime::HiRes=clock_gettime,CLOCK_MONOTONIC -e \
    'printf STDERR "mirabo-trace: exec %.0f\n", clock_gettime(CLOCK_MONOTONIC) * 1e6;
     exec { $ARGV[0] } @ARGV or die "exec $ARGV[0]: $!\n";' "$@" 2>"$trace" >/dev/null &
  run_pid=$!
  bench_pids+=("$run_pid")
}

# The µs from exec to the first completed document at the address, or nothing yet.
bench_exec_to_complete() {
  local trace=$1 url=$2
  [ -f "$trace" ] || return 0
  awk -v url="$url" '$2 == "exec" { t0 = $3 }
    $2 == "complete" && $4 == url && t0 { print $3 - t0; exit }' "$trace"
}

# Starts Mirabo (mirabo) or the plain single-view WebKitGTK browser (plain) in the folder, with
# MIRABO_TRACE set, at the homepage of the member taro; each with a cold engine (Mirabo keeps its
# cache in memory; the plain browser's data folders are removed first). Sets run_pid and
# run_trace.
bench_launch() {
  local kind=$1 dir=$2
  run_trace=$dir/trace.log
  mkdir -p "$dir"
  cd "$dir" || bench_fail "no folder $dir"
  if [ "$kind" = mirabo ]; then
    bench_program_folder "$dir"
    export MIRABO_TRACE=1
    bench_run_traced "$run_trace" "$bench_build/browser/Mirabo"
    unset MIRABO_TRACE
  else
    rm -rf "${XDG_CACHE_HOME:-$HOME/.cache}/plain_view" \
      "${XDG_DATA_HOME:-$HOME/.local/share}/plain_view"
    bench_run_traced "$run_trace" "$bench_build/tests/plain_view" "$homepage"
  fi
  cd "$bench_root" || bench_fail "no folder $bench_root"
}

# True once the trace shows the homepage's completed document.
bench_homepage_done() { [ -n "$(bench_exec_to_complete "$1" "$homepage")" ]; }

# Waits up to 30 s for the homepage's completed document in the trace; fails showing the trace.
bench_wait_homepage() {
  bench_wait 30 bench_homepage_done "$1" && return 0
  sed 's/^/  /' "$1" >&2
  bench_fail "the homepage $homepage did not complete within 30 s"
}

# Ends a program started by bench_run_traced and waits until the processes it started (its
# WebKit processes) have gone too.
bench_stop() {
  local pid=$1 tree kept=() p
  tree=$(bench_tree "$pid")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  for p in "${bench_pids[@]}"; do [ "$p" = "$pid" ] || kept+=("$p"); done
  bench_pids=("${kept[@]}")
  # shellcheck disable=SC2086
  bench_wait 20 bench_gone $tree || echo "$(basename "$0"): processes of $pid still running" >&2
}

# True when none of the processes given runs any more.
bench_gone() {
  local q
  for q in "$@"; do [ -d "/proc/$q" ] && return 1; done
  return 0
}

# The process and every process below it.
bench_tree() {
  ps -e -o pid=,ppid= | awk -v root="$1" '
    { parent[$1] = $2 }
    END {
      for (p in parent) {
        q = p
        while (q != "" && q != root && q != 1 && q != 0) q = parent[q]
        if (q == root) print p
      }
    }'
}

# utime + stime in clock ticks of each process given, one "pid name ticks" a line.
bench_cpu_ticks() {
  local p stat name
  for p in "$@"; do
    stat=$(cat "/proc/$p/stat" 2>/dev/null) || continue
    name=$(cat "/proc/$p/comm" 2>/dev/null)
    awk -v pid="$p" -v name="$name" '{ sub(/^.*\) /, ""); print pid, name, $12 + $13 }' <<<"$stat"
  done
}

# Pss and private (Private_Clean + Private_Dirty) kB of each process given, one
# "pid name pss private" a line, from /proc/PID/smaps_rollup.
bench_memory() {
  local p
  for p in "$@"; do
    [ -r "/proc/$p/smaps_rollup" ] || continue
    awk -v pid="$p" -v name="$(cat "/proc/$p/comm" 2>/dev/null)" '
      $1 == "Pss:" { pss = $2 }
      $1 == "Private_Clean:" || $1 == "Private_Dirty:" { own += $2 }
      END { if (pss != "") print pid, name, pss, own }' "/proc/$p/smaps_rollup" 2>/dev/null
  done
}

# The median of the numbers given.
bench_median() {
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
    END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
