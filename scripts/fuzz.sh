#!/bin/bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each for a
# bounded time over a copy of its seed corpus, so that the committed corpus
# never grows. Prints per target how many inputs it ran and what it found;
# exits non-zero when any target crashed, with the input kept under
# build/fuzz/findings/<target>/.
#
#   scripts/fuzz.sh [seconds per target] [target...]
#   FUZZ_SECONDS=30 by default; targets: command_line probe version_name registry
set -uo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${FUZZ_SECONDS:-30}}"
shift $(( $# > 0 ? 1 : 0 ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(command_line probe version_name registry)

cmake --preset fuzz >/dev/null || exit 2
cmake --build --preset fuzz -j2 >/dev/null || { cmake --build --preset fuzz -j1; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/zandrell-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failed=0
for target in "${targets[@]}"; do
  corpus="$work/$target"
  findings="build/fuzz/findings/$target"
  mkdir -p "$corpus" "$findings"
  cp tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null
  log="$work/$target.log"
  # One process, one job: the machine is shared. A run over ten seconds on
  # one input is a hang and counts as a finding too.
  build/fuzz/fuzz_"$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  found=$(grep -Eo "Test unit written to [^ ]+" "$log" | sed 's/Test unit written to //')
  if [ $status -eq 0 ]; then
    echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, nothing found"
  else
    failed=1
    echo "fuzz_$target: ${runs:-?} executions, FAILED (exit $status)${found:+, input kept in $found}"
    grep -E "ERROR:|check failed|SUMMARY:|^    #[0-9]+ " "$log" | head -20 | sed 's/^/  /'
  fi
done
exit $failed
