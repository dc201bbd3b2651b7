#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix named by TOV_WINEPREFIX,
# creating the prefix on first use, and passes its exit code back.
set -euo pipefail

prefix=${TOV_WINEPREFIX:?TOV_WINEPREFIX must name the Wine prefix}

# Linux puts a program's brk heap anywhere in the gigabyte above its image,
# and Debian's Wine loader sits at 0x7d000000, just under the addresses Wine
# then maps at fixed places (the shared user data at 0x7ffe0000 first). About
# one start in three thousand drew a heap there, and the program ended with 1
# before it ran, saying nothing under WINEDEBUG=-all. Without address
# randomisation the heap stays right after the loader, well clear of them.
# Where the kernel refuses the personality (some containers), Wine runs as
# before.
# ADDR_NO_RANDOMIZE (0x0040000) is read from the personality itself, so a
# run already without randomisation goes straight on.
if (( (0x$(cat /proc/self/personality) & 0x0040000) == 0 )) && setarch -R true 2>/dev/null; then
  exec setarch -R "$0" "$@"
fi
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
