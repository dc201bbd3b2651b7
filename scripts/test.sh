#!/usr/bin/env bash
# The one test command: prepares the machine, builds the native, fuzzing and
# Windows trees, runs every test and ends with one summary line. A second,
# small Windows tree built from a deliberately different channel profile
# (profiles/nordlys) runs the end-to-end start-up and install tests again, so
# nothing of the default game or channel is left baked in anywhere.
# Exits non-zero when anything fails.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOV_BUILD_ROOT:-$root/build}
jobs=$(nproc)
cd "$root"

log() { printf '\n== %s\n' "$*"; }

if [ "$(id -u)" -eq 0 ]; then
  bash scripts/setup.sh || exit 1
else
  sudo bash scripts/setup.sh || exit 1
fi

log "native build (AddressSanitizer, UBSan)"
cmake -S . -B "$build/host" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOV_SANITIZE=ON >/dev/null || exit 1
cmake --build "$build/host" -j "$jobs" || exit 1

log "fuzz targets (libFuzzer, clang, AddressSanitizer, UBSan)"
cmake -S . -B "$build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOV_FUZZ=ON \
  -DTOV_FUZZ_SECONDS="${TOV_FUZZ_SECONDS:-20}" >/dev/null || exit 1
cmake --build "$build/fuzz" -j "$jobs" || exit 1

log "Windows build"
cmake -S . -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null || exit 1
cmake --build "$build/win" -j "$jobs" || exit 1

# Only what the start-up and install tests run: the launcher, its test build,
# the demo game and the GUI driver.
second=nordlys
second_tests='^e2e_test_(startup|install)$'
log "Windows build of the profile $second (launcher, demo game, drivers)"
cmake -S . -B "$build/win-$second" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DTOV_PROFILE="profiles/$second" \
  >/dev/null || exit 1
cmake --build "$build/win-$second" -j "$jobs" --target TovLauncher TovLauncherTest bm guidriver || exit 1

# Wine draws its windows on an X display; without one we bring our own.
. scripts/lib/display.sh
tov_ensure_display

prefix=$(sed -n 's/^TOV_WINEPREFIX:PATH=//p' "$build/win/CMakeCache.txt")
prefix2=$(sed -n 's/^TOV_WINEPREFIX:PATH=//p' "$build/win-$second/CMakeCache.txt")
cleanup() {
  # Only our own wineservers, and Wine before the display it draws on.
  [ -n "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  [ -n "$prefix2" ] && WINEPREFIX="$prefix2" wineserver -k >/dev/null 2>&1
  tov_stop_display
}
trap cleanup EXIT

# Each run starts from a fresh prefix so no state of an earlier run leaks in.
rm -rf "$prefix" "$prefix.lock" "$prefix2" "$prefix2.lock"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# A test that hangs fails on its own instead of holding up the whole run;
# tests that need longer set their own limit.
test_timeout=${TOV_TEST_TIMEOUT:-300}
ctest() { command ctest --timeout "$test_timeout" "$@"; }

log "native tests"
ctest --test-dir "$build/host" -j "$jobs" --output-on-failure 2>&1 | tee "$build/host-ctest.log"
host_rc=${PIPESTATUS[0]}

log "fuzz targets, each for a fixed time (tests/fuzz)"
ctest --test-dir "$build/fuzz" -j "$jobs" --output-on-failure 2>&1 | tee "$build/fuzz-ctest.log"
fuzz_rc=${PIPESTATUS[0]}
cat "$build"/fuzz/fuzz-work/*.summary 2>/dev/null

log "Windows tests under Wine"
ctest --test-dir "$build/win" -j "$jobs" --output-on-failure 2>&1 | tee "$build/win-ctest.log"
win_rc=${PIPESTATUS[0]}

log "Windows start-up and install tests under Wine, profile $second"
ctest --test-dir "$build/win-$second" -R "$second_tests" --output-on-failure 2>&1 \
  | tee "$build/win-$second-ctest.log"
second_rc=${PIPESTATUS[0]}

counts() {
  # "NN% tests passed, F tests failed out of T" -> "passed failed"
  sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$1" | tail -1
}
read -r hf ht <<<"$(counts "$build/host-ctest.log")"
read -r wf wt <<<"$(counts "$build/win-ctest.log")"
read -r ff ft <<<"$(counts "$build/fuzz-ctest.log")"
read -r sf st <<<"$(counts "$build/win-$second-ctest.log")"
hf=${hf:-0}; ht=${ht:-0}; wf=${wf:-0}; wt=${wt:-0}; ff=${ff:-0}; ft=${ft:-0}; sf=${sf:-0}; st=${st:-0}
failed=$((hf + wf + ff + sf))
passed=$((ht + wt + ft + st - failed))

echo
echo "tests: $passed passed, $failed failed"
if [ "$host_rc" -ne 0 ] || [ "$win_rc" -ne 0 ] || [ "$fuzz_rc" -ne 0 ] || [ "$second_rc" -ne 0 ] ||
   [ "$failed" -ne 0 ] || [ "$ht" -eq 0 ] || [ "$wt" -eq 0 ] || [ "$ft" -eq 0 ] || [ "$st" -eq 0 ]; then
  exit 1
fi
exit 0
