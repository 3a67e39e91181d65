#!/usr/bin/env bash
# Prepares a program folder for Mirabo against hobnest-sim on this machine:
#
#   tools/program-folder.sh FOLDER PORT BUILD [MEMBER]
#
# It gets the add-ins Mirabo ships (the default icon, and the template editor Quillet when the
# build folder BUILD holds it), a Hosts.txt whose every host role is 127.0.0.1:PORT (CR LF, as
# the Windows program writes its files) and, with MEMBER, the your.id of a member who has
# started before (an existing one is kept).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 3 ] || { echo "usage: $0 FOLDER PORT BUILD [MEMBER]" >&2; exit 2; }
folder=$1 port=$2 build=$3 member=${4:-}

mkdir -p "$folder"
cp -r "$root/assets/AddIn" "$folder/"
if [ -x "$build/template-editor/Quillet" ]; then
  cp "$build/template-editor/Quillet" "$folder/AddIn/006Quillet/Quillet"
fi
for role in SITE HOMEPAGE APP BOARD UPDATE; do
  printf '%s = 127.0.0.1:%s\r\n' "$role" "$port"
done >"$folder/Hosts.txt"
if [ -n "$member" ] && [ ! -f "$folder/your.id" ]; then
  (umask 077 && printf '%s\r\n0\r\n' "$member" >"$folder/your.id")
fi
