#!/usr/bin/env bash
# Runs one fuzz target for a fixed time over its seeds.
# Usage: run-fuzzer.sh EXE NAME SECONDS WORKDIR SEED_DIR...
# New inputs go to WORKDIR/corpus/NAME, which libFuzzer writes as the first
# corpus directory (the seed directories are only read, so the repository's
# corpus stays as it is); a crashing input goes to
# WORKDIR/artifacts/NAME-crash-<hash> (rerun it alone with EXE FILE). The
# whole output is kept in WORKDIR/NAME.log and printed when the run fails;
# WORKDIR/NAME.summary holds its last line of figures.
set -uo pipefail
exe=$1 name=$2 seconds=$3 work=$4
shift 4
mkdir -p "$work/corpus/$name" "$work/artifacts"
log="$work/$name.log"

"$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/$name-" "$work/corpus/$name" "$@" >"$log" 2>&1
rc=$?

# From "#N DONE cov: C ft: F corp: U/S lim: ... exec/s: E rss: ...".
figures=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 |
  sed -n 's/^#\([0-9]*\).*cov: \([0-9]*\) ft: \([0-9]*\) corp: \([^ ]*\).*exec\/s: \([0-9]*\).*/\1 runs, \5 exec\/s, cov \2, ft \3, corpus \4/p')
summary="fuzz_$name: ${figures:-no final figures} (${seconds} s, exit $rc)"
echo "$summary" | tee "$work/$name.summary"
if [ "$rc" -ne 0 ]; then
  cat "$log"
fi
exit "$rc"
