#!/usr/bin/env bash
# Runs the launcher under Wine against the bundled loopback demo server and
# tells its story: screenshots of each phase and a contact sheet under
# build/demo/, and the telemetry the server received. Ends by itself; exit 0
# only when the story completed.
#
#   scripts/demo.sh [--release] [--timeout SECONDS]
#
# Debian's Wine has no HTML engine, so the release executable's login page
# stays blank and never logs in. The demo therefore runs the test build,
# whose page is a script that logs in through the launcher's own script
# object; --release runs the release executable and stops at its ready state.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOV_BUILD_ROOT:-$root/build}
cd "$root"

if [ "$(id -u)" -eq 0 ]; then bash scripts/setup.sh; else sudo bash scripts/setup.sh; fi

cmake -S . -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build/win" -j "$(nproc)"

# The server base the build really has: the profile's, or TOV_SERVER_BASE.
base=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["server_base"])' \
  "$build/win/profile.json")
port=${base##*:}
port=${port%%/*}

prefix="$build/demo-prefix"
compositor_pid=
. scripts/lib/display.sh
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  [ -n "$compositor_pid" ] && kill "$compositor_pid" 2>/dev/null || true
  tov_stop_display
}
trap cleanup EXIT

tov_ensure_display
if [ -n "$xvfb_pid" ]; then
  echo "demo: no display; drawing on Xvfb $DISPLAY (the screenshots show what it drew)"
  # The picture's soft edges blend only with a compositing manager.
  xcompmgr >/dev/null 2>&1 &
  compositor_pid=$!
fi

echo "demo: launcher log and install tree under $prefix/drive_c (the channel's data directory)"
python3 tools/demo/story.py --build "$build/win" --prefix "$prefix" --port "$port" \
  --out "$build/demo" "$@"
