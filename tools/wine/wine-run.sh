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

exec wine "$@"
