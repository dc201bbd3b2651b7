#!/usr/bin/env bash
# Install and start-up figures of the launcher under Wine against baselines
# measured in the same run, each with its goal (see
# tools/bench/bench_install.py). Loopback only; not part of the tests.
#   scripts/bench-install.sh [build-dir] [options of bench_install.py]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/win}
shift || true
[ -x "$build/src/TovLauncher.exe" ] || { echo "no launcher in $build; build it first" >&2; exit 1; }

# curl.exe and unzip.exe under Wine, when asked for as a reference (cached
# after the first build).
for a in "$@"; do
  if [ "$a" = --wine-tools ]; then
    if [ "$(id -u)" -eq 0 ]; then
      bash "$root/scripts/build-bench-tools.sh"
    else
      sudo bash "$root/scripts/build-bench-tools.sh"
    fi
  fi
done

xvfb_pid=
prefix=$(sed -n 's/^TOV_WINEPREFIX:PATH=//p' "$build/CMakeCache.txt")
cleanup() {
  # Only this build's wineserver, and Wine before the display it draws on.
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi
python3 "$root/tools/bench/bench_install.py" --build "$build" "$@"
