#!/usr/bin/env bash
# Runs Mirabo on the bundled stand-in site: builds what is needed, starts hobnest-sim on this
# machine, prepares the program folder run/ (Hosts.txt pointing at the stand-in) and starts
# Mirabo in it. Without a display it runs on a virtual one and saves a screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh" --target Mirabo Quillet hobnest-sim

port=${HOBNEST_PORT:-8931}
run="$root/run"
# Without a display nobody can answer the first start's ID box: a member who has started before.
member=""
[ -n "${DISPLAY:-}" ] || member=taro
"$root/tools/program-folder.sh" "$run" "$port" "$root/build" ${member:+"$member"}

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

"$root/build/hobnest-sim/hobnest-sim" --port "$port" >"$run/hobnest-sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
echo "hobnest-sim: http://127.0.0.1:$port/ (members taro, hanako, jiro; passwords <id>-pass)"

cd "$run"
if [ -n "${DISPLAY:-}" ]; then
  "$root/build/browser/Mirabo"
  exit 0
fi

# No display: a virtual one, and a screenshot of the window.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$root/build/browser/Mirabo" >"$run/mirabo.log" 2>&1 &
pids+=($!)
# The home tab's chat frame is the last part of the homepage to arrive.
for _ in $(seq 150); do grep -q '/chat/log.jsp' "$run/hobnest-sim.log" && break; sleep 0.1; done
sleep 1
import -window root "$run/screenshot.png"
echo "No display: Mirabo ran on a virtual one; its window is in $run/screenshot.png"
