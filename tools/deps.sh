#!/usr/bin/env bash
# Installs the Debian packages Mirabo needs to build, run and test, when they are missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtkmm-3.0-dev libwebkit2gtk-4.1-dev libcpp-httplib-dev libx11-dev libxi-dev libxtst-dev
  googletest libgtest-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool fonts-ipafont-gothic imagemagick clang-format
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
