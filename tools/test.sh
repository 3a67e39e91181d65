#!/usr/bin/env bash
# Runs every test: the unit and integration tests on the fake platform, and the end-to-end
# tests on the real backend under a virtual display against hobnest-sim on a loopback port.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh"
cd "$root/build"
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" ctest --output-on-failure "$@"
