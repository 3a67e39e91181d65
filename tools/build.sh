#!/usr/bin/env bash
# Builds everything into build/ (configured once, then incremental).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" "$@"
