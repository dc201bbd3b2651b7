#!/usr/bin/env bash
# Runs the launcher under Wine against the bundled loopback demo server.
# The Windows build must point at the demo server (the default base).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOV_BUILD_ROOT:-$root/build}
cd "$root"

if [ "$(id -u)" -eq 0 ]; then bash scripts/setup.sh; else sudo bash scripts/setup.sh; fi

cmake -S . -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build/win" -j "$(nproc)"

base=$(sed -n 's/^TOV_SERVER_BASE:STRING=//p' "$build/win/CMakeCache.txt")
port=${base##*:}
port=${port%%/*}

prefix="$build/demo-prefix"
server_pid=
. scripts/lib/display.sh
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  tov_stop_display
}
trap cleanup EXIT

tov_ensure_display
if [ -n "$xvfb_pid" ]; then
  echo "demo: no display; drawing on Xvfb $DISPLAY (screenshot: import -display $DISPLAY -window root shot.png)"
fi

python3 tools/loopback/loopback_server.py --port "$port" \
  --demo-exe "$build/win/tools/bm.exe" --record "$build/demo-reports.jsonl" &
server_pid=$!
sleep 1

export TOV_WINEPREFIX="$prefix"
echo "demo: launcher log and install tree under $prefix/drive_c/bm-webvarn"
"$build/win/wine-run" "$build/win/src/TovLauncher.exe" "$@"
echo "demo: launcher exited with $?"
