#!/usr/bin/env bash
# Checks that every C++ file of the project is formatted by .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format-check: clang-format missing"; exit 1; }
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "format-check: clean"
