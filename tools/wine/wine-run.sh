#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix named by TOV_WINEPREFIX,
# creating the prefix on first use, and passes its exit code back.
set -euo pipefail

prefix=${TOV_WINEPREFIX:?TOV_WINEPREFIX must name the Wine prefix}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
tov_wine_env "$prefix"
tov_wine_ready "$prefix"

# Wine starts background processes (services, the desktop) on demand, and
# they inherit the standard handles of whichever program started them. The
# program's output therefore goes through a file: a pipe of the caller (CTest,
# a test's subprocess) would otherwise stay open until the wineserver ends.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
set +e
wine "$@" </dev/null >"$out" 2>&1
rc=$?
set -e
cat "$out"
exit $rc
