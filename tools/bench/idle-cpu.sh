#!/usr/bin/env bash
# An idle Mirabo with 32 tabs open on the stand-in site, CPU over one minute. Mirabo starts in a
# program folder of its own for the member taro, on a virtual display of this script's own,
# against hobnest-sim on loopback; once its home tab has completed the homepage, Ctrl+Alt+N is
# typed into its window 30 times (xdotool, as a member would), which opens 30 more tabs at the
# homepage: with the site tab and the home tab, 32. When all 31 homepages have completed
# (MIRABO_TRACE) and SETTLE (default 10) seconds have passed, the CPU time (utime + stime from
# /proc) of Mirabo and of every process below it (its WebKit network and web processes) is
# taken over SPAN (default 60) seconds and printed as a percentage of one core, with the
# processes that used the most.
set -euo pipefail
# shellcheck source=tools/bench/lib.sh
source "$(dirname "$0")/lib.sh"
settle=${SETTLE:-10}
span=${SPAN:-60}

bench_need xdotool
bench_build_targets Mirabo hobnest-sim
bench_start_sim
bench_start_xvfb

bench_launch mirabo "$bench_work/mirabo"
mirabo=$run_pid
bench_wait_homepage "$run_trace"

homepages() { grep -c "^mirabo-trace: complete [0-9]* $homepage\$" "$run_trace" || true; }
window=$(xdotool search --onlyvisible --pid "$mirabo" | head -1)
[ -n "$window" ] || bench_fail "no window of Mirabo"
xdotool windowfocus --sync "$window"
for _ in $(seq 30); do xdotool key --clearmodifiers ctrl+alt+n; done
all_loaded() { [ "$(homepages)" -ge 31 ]; }
bench_wait 120 all_loaded || bench_fail "only $(homepages) of 31 homepages completed"
echo "32 tabs: 31 homepages completed ($(grep -c ' /@taro' "$sim_log" || true) homepage requests)"
sleep "$settle"

# shellcheck disable=SC2046
bench_cpu_ticks $(bench_tree "$mirabo") | sort >"$bench_work/before"
sleep "$span"
# shellcheck disable=SC2046
bench_cpu_ticks $(bench_tree "$mirabo") | sort >"$bench_work/after"
[ -d "/proc/$mirabo" ] || bench_fail "Mirabo ended during the measurement"

hz=$(getconf CLK_TCK)
join "$bench_work/before" "$bench_work/after" | awk -v hz="$hz" -v span="$span" '
  { d = $5 - $3; total += d; by[$2] += d; n[$2]++; if (d > top_d) { top_d = d; top = $1 " " $2 } }
  END {
    for (k in by)
      printf "  %-16s %2d processes: %5.2f%% of one core\n", k, n[k], 100 * by[k] / hz / span
    printf "busiest process: %s (%.2f%%)\n", top, 100 * top_d / hz / span
    printf "idle Mirabo with 32 tabs, CPU over %d s: %.2f%% of one core (goal: under 1%%)\n",
      span, 100 * total / hz / span
  }'
