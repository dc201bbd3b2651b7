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

prefix=$(sed -n 's/^TOV_WINEPREFIX:PATH=//p' "$build/CMakeCache.txt")
# Wine draws its windows on an X display; without one we bring our own.
. "$root/scripts/lib/display.sh"
tov_ensure_display
cleanup() {
  # Only this build's wineserver, and Wine before the display it draws on.
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  tov_stop_display
}
trap cleanup EXIT
python3 "$root/tools/bench/bench_install.py" --build "$build" "$@"
