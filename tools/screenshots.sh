#!/usr/bin/env bash
# Takes the screenshots of docs/: Mirabo on a fresh virtual display against hobnest-sim, in a
# fresh program folder. docs/mirabo-main.png is the main window at taro's homepage;
# docs/mirabo-login.png the same after a click on its ログイン button, with the login manager
# in front. Every wait is for a condition, with a deadline.
#
# MIRABO_BUILD: a build folder to use instead of build/ (it is built there).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MIRABO_BUILD:-$root/build}
"$root/tools/deps.sh"
if [ "$build" = "$root/build" ]; then
  "$root/tools/build.sh" --target Mirabo hobnest-sim
else
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target Mirabo hobnest-sim
fi

work=$(mktemp -d /tmp/mirabo-shots-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "screenshots: $*" >&2
  for log in "$work"/*.log; do [ -f "$log" ] && sed 's/^/  /' "$log" | tail -20 >&2; done
  exit 1
}

# until SECONDS_LIMIT COMMAND...: runs the command every 0.1 s until it succeeds.
until_ok() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The stand-in site on a free port, which it prints.
"$build/hobnest-sim/hobnest-sim" --port 0 >"$work/hobnest-sim.log" 2>&1 &
pids+=($!)
until_ok 10 grep -q '^hobnest-sim: http://127.0.0.1:[0-9]*/' "$work/hobnest-sim.log" ||
  fail "hobnest-sim did not start"
port=$(sed -n 's|^hobnest-sim: http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/hobnest-sim.log" | head -1)

# The program folder: the add-ins it ships, the hosts, a member who has started before.
folder="$work/run"
"$root/tools/program-folder.sh" "$folder" "$port" "$build" taro

# A fresh virtual display; Xvfb names the free display it took.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$displayfd" number || fail "Xvfb did not start"
export DISPLAY=:$number
until_ok 10 xdpyinfo >/dev/null 2>&1 || fail "the display did not come up"

(cd "$folder" && exec "$build/browser/Mirabo") >"$work/mirabo.log" 2>&1 &
pids+=($!)

window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
main=""
find_main() { main=$(window_named '^Mirabo$'); [ -n "$main" ]; }
until_ok 20 find_main || fail "the main window did not appear"
# The homepage and its frames, the chat room's last, have been fetched.
homepage_fetched() {
  grep -q 'GET /chat/input.jsp?id=taro' "$work/hobnest-sim.log" &&
    grep -q 'GET /chat/log.jsp?id=taro' "$work/hobnest-sim.log"
}
until_ok 20 homepage_fetched || fail "the homepage was not fetched"

# shoot FILE ARGS...: captures with import until two captures in a row are the same picture
# (the window has finished drawing), then keeps the last.
shoot() {
  local out=$1
  shift
  local previous="$work/previous.png" current="$work/current.png"
  local deadline=$((SECONDS + 20))
  import "$@" "$previous"
  while :; do
    sleep 0.3
    import "$@" "$current"
    if [ "$(compare -metric AE "$previous" "$current" null: 2>&1 || true)" = "0" ]; then
      mv "$current" "$out"
      return 0
    fi
    mv "$current" "$previous"
    [ "$SECONDS" -lt "$deadline" ] || return 1
  done
}

mkdir -p "$root/docs"
shoot "$root/docs/mirabo-main.png" -window "$main" || fail "the main window did not settle"

# The login button sits on the tool bar at (180, 14), 70 × 22, in the client area, which is
# 550 pixels high under the menu bar.
eval "$(xdotool getwindowgeometry --shell "$main")"
menu_bar=$((HEIGHT - 550))
xdotool mousemove --window "$main" $((180 + 35)) $((menu_bar + 14 + 11)) click 1
login=""
find_login() { login=$(window_named 'ログインマネージャ'); [ -n "$login" ]; }
until_ok 10 find_login || fail "the login manager did not appear"
# Both windows as the screen shows them: the main window's area, the login manager in front.
xdotool mousemove 0 0
shoot "$root/docs/mirabo-login.png" -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage ||
  fail "the login manager did not settle"

echo "screenshots: docs/mirabo-main.png, docs/mirabo-login.png"
