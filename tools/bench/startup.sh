#!/usr/bin/env bash
# Exec to the home page's completed document: Mirabo (with MIRABO_TRACE=1 it prints the
# monotonic time at which each completed document has been handled, ScanFrames included) in a
# program folder of its own for the member taro, against tests/bench/plain_view, a bare
# single-view WebKitGTK browser, loading the same homepage (its load finished); both on a
# virtual display of this script's own against hobnest-sim on loopback, each run with a cold
# engine. One warm-up run of each is not counted; then RUNS (default 5) runs of each, taking
# turns. Prints every run and the medians.
set -euo pipefail
# shellcheck source=tools/bench/lib.sh
source "$(dirname "$0")/lib.sh"
runs=${RUNS:-5}

bench_build_targets Mirabo hobnest-sim plain_view
bench_start_sim
bench_start_xvfb

# One run: sets ms to the milliseconds from exec to the completed homepage.
one_run() {
  bench_launch "$1" "$bench_work/$1-$2"
  bench_wait_homepage "$run_trace"
  bench_stop "$run_pid"
  ms=$(awk -v us="$(bench_exec_to_complete "$run_trace" "$homepage")" \
    'BEGIN { printf "%.0f\n", us / 1000 }')
}

one_run mirabo 0
one_run plain 0
mirabo=() plain=()
for n in $(seq "$runs"); do
  one_run mirabo "$n"
  mirabo+=("$ms")
  one_run plain "$n"
  plain+=("$ms")
  echo "run $n: Mirabo ${mirabo[-1]} ms, plain_view ${plain[-1]} ms"
done
echo "exec to the completed homepage, median of $runs runs:" \
  "Mirabo $(bench_median "${mirabo[@]}") ms, plain_view $(bench_median "${plain[@]}") ms" \
  "(goal: Mirabo under 600 ms)"
