#!/usr/bin/env bash
# Memory right after start, every process counted by PSS: Mirabo in a program folder of its own
# for the member taro, and tests/bench/plain_view, a bare single-view WebKitGTK browser, showing
# the same homepage; both on a virtual display of this script's own against hobnest-sim on
# loopback. SETTLE (default 2) seconds after the homepage's completed document, the Pss of the
# program and of every process below it (its WebKit network and web processes) is summed from
# /proc/PID/smaps_rollup; the private memory (Private_Clean + Private_Dirty, which no other
# process shares) is given beside it. RUNS (default 3) runs of each, taking turns; prints each
# run, the processes of the last one and the medians. Pss shares every mapped page among the
# processes mapping it, so WebKit processes of other programs running on the machine lower both
# figures (plain_view's more, as its one web process then shares the library pages it otherwise
# holds alone): the script says how many there were; compare figures taken with none.
set -euo pipefail
# shellcheck source=tools/bench/lib.sh
source "$(dirname "$0")/lib.sh"
runs=${RUNS:-3}
settle=${SETTLE:-2}

bench_build_targets Mirabo hobnest-sim plain_view
bench_start_sim
bench_start_xvfb

# One run: writes the processes to $bench_work/KIND-N.mem and sets pss and own (private) in kB.
one_run() {
  local out=$bench_work/$1-$2.mem
  bench_launch "$1" "$bench_work/$1-$2"
  bench_wait_homepage "$run_trace"
  sleep "$settle"
  local tree
  tree=$(bench_tree "$run_pid")
  # shellcheck disable=SC2086
  bench_memory $tree >"$out"
  # WebKit processes of other programs share the library pages and lower the figures.
  others=$(ps -e -o pid=,comm= | awk -v ours=" ${tree//$'\n'/ } " '
    $2 ~ /^WebKit/ && index(ours, " " $1 " ") == 0 { n++ } END { print n + 0 }')
  [ "$others" -gt "$max_others" ] && max_others=$others
  bench_stop "$run_pid"
  read -r pss own < <(awk '{ pss += $3; own += $4 } END { print pss, own }' "$out")
}

mirabo=() plain=()
max_others=0
for n in $(seq "$runs"); do
  one_run mirabo "$n"
  mirabo+=("$pss")
  line="run $n: Mirabo Pss $((pss / 1024)) MiB (private $((own / 1024)) MiB)"
  one_run plain "$n"
  plain+=("$pss")
  echo "$line, plain_view Pss $((pss / 1024)) MiB (private $((own / 1024)) MiB)"
done
for kind in mirabo plain; do
  echo "processes of the last $kind run (pid name Pss-kB private-kB):"
  sed 's/^/  /' "$bench_work/$kind-$runs.mem"
done
echo "WebKit processes of other programs on the machine during the samples: at most $max_others"
mm=$(bench_median "${mirabo[@]}")
pm=$(bench_median "${plain[@]}")
awk -v m="$mm" -v p="$pm" -v runs="$runs" 'BEGIN {
  printf "Pss right after start, median of %d runs: Mirabo %.0f MiB, plain_view %.0f MiB," \
    " ratio %.2f (goal: at most 1.25)\n", runs, m / 1024, p / 1024, m / p }'
