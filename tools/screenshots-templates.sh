#!/usr/bin/env bash
# Takes the screenshots of the template texts' and add-ins' windows on a virtual display:
# docs/mirabo-main.png (the main window with its whole tool bar and the add-in strip, on the
# member's homepage from hobnest-sim) and docs/quillet.png (Quillet on the F2 page).
# BUILD_DIR names the build folder (default build/); the programs are built there first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target Mirabo Quillet hobnest-sim >/dev/null

work=$(mktemp -d /tmp/mirabo-shots-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "gave up waiting for: $*" >&2
  return 1
}

# The program folder as the run command prepares it, for a member who has started before.
port=$((20000 + RANDOM % 20000))
"$root/tools/program-folder.sh" "$work" "$port" "$build" taro
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime

display=:$((100 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 50 xdpyinfo

"$build/hobnest-sim/hobnest-sim" --port "$port" >"$work/hobnest-sim.log" 2>&1 &
pids+=($!)
wait_for 100 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port"

# The id of the shown window whose title contains $1.
window_id() {
  xwininfo -root -children | grep -F "$1" | grep -o '^ *0x[0-9a-f]*' | head -1 | tr -d ' '
}
has_window() { test -n "$(window_id "$1")"; }
# Saves the window whose title contains $1 into $2 once its picture has settled: two captures
# in a row are the same (up to five seconds).
shot() {
  local id
  id=$(window_id "$1")
  import -window "$id" "$work/last.png"
  for _ in $(seq 25); do
    sleep 0.2
    import -window "$id" "$work/now.png"
    if cmp -s "$work/last.png" "$work/now.png"; then
      cp "$work/now.png" "$2"
      return 0
    fi
    mv "$work/now.png" "$work/last.png"
  done
  echo "the window \"$1\" never settled" >&2
  return 1
}

cd "$work"
"$build/browser/Mirabo" >"$work/mirabo.log" 2>&1 &
pids+=($!)
# The chat room's log frame is the last part of the homepage to arrive.
wait_for 150 grep -q '/chat/log.jsp' "$work/hobnest-sim.log"
wait_for 50 has_window '"Mirabo"'
shot '"Mirabo"' "$root/docs/mirabo-main.png"

"$work/AddIn/006Quillet/Quillet" 1 >"$work/quillet.log" 2>&1 &
pids+=($!)
wait_for 100 has_window 'for Mirabo Version'
shot 'for Mirabo Version' "$root/docs/quillet.png"
echo "docs/mirabo-main.png and docs/quillet.png written"
