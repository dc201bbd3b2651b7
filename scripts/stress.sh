#!/usr/bin/env bash
# Runs one end-to-end test file of the Windows tree many rounds over, outside
# the time limit CTest gives it, to catch what fails one run in a few:
#
#   scripts/stress.sh startup|exit|launch|FILE [ROUNDS] [BUILD_DIR]
#
# startup: a second launcher refused while the first runs (TOV_STARTUP_ROUNDS)
# exit:    closing during a download, an extraction, a game start, and game
#          starts in a row (TOV_EXIT_ROUNDS)
# launch:  every login and game start case (TOV_LAUNCH_ROUNDS)
# FILE:    any other end-to-end file (uninstall, install, ...), whole, that
#          many times over
#
# The tree must be built (scripts/test.sh builds it); ROUNDS defaults to 100.
# The test runs with the environment CTest would give it, in its own Wine
# prefix (made afresh), on its own display when there is none.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
what=${1:?usage: scripts/stress.sh startup|exit|launch|FILE [ROUNDS] [BUILD_DIR]}
rounds=${2:-100}
build=${3:-${TOV_BUILD_ROOT:-$root/build}/win}
[ -f "$root/tests/e2e/test_$what.py" ] || { echo "stress: no end-to-end file test_$what.py" >&2; exit 2; }
[ -f "$build/CMakeCache.txt" ] || { echo "stress: $build is not built; run scripts/test.sh first" >&2; exit 2; }

# The command, folder and environment CTest has for the test.
listing=$(ctest --test-dir "$build" -R "^e2e_test_${what}\$" --show-only=json-v1)
mapfile -t settings < <(python3 -c '
import json, sys
test = json.loads(sys.stdin.read())["tests"][0]
props = {p["name"]: p["value"] for p in test["properties"]}
print(props["WORKING_DIRECTORY"])
for item in props["ENVIRONMENT"]:
    print(item)
' <<<"$listing")
workdir=${settings[0]}
for item in "${settings[@]:1}"; do export "${item?}"; done
case $what in
  startup|exit|launch) export "TOV_$(tr '[:lower:]' '[:upper:]' <<<"$what")_ROUNDS=$rounds"; repeats=1 ;;
  *) repeats=$rounds ;;
esac

. "$root/scripts/lib/display.sh"
cleanup() {
  WINEPREFIX="$TOV_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  tov_stop_display
}
trap cleanup EXIT
tov_ensure_display
# A stress run starts from a fresh prefix, as the test command does.
WINEPREFIX="$TOV_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
rm -rf "$TOV_WINEPREFIX" "$TOV_WINEPREFIX.lock"

echo "stress: e2e_test_$what, $rounds rounds, prefix $TOV_WINEPREFIX"
cd "$workdir"
start=$SECONDS
for ((i = 1; i <= repeats; i++)); do
  python3 -m unittest -v "test_$what" || { echo "stress: e2e_test_$what failed in round $i" >&2; exit 1; }
done
echo "stress: e2e_test_$what passed $rounds rounds in $((SECONDS - start)) s"
