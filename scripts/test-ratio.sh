#!/usr/bin/env bash
# The weight of the test suite against the code it tests: non-blank lines of the .cpp and .h files
# under tests/ and under src/, lib/, camsim/ and tools/, and their ratio (the rule: at most 0.4).
# Prints the counts; never fails a run.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
count() {
    (cd "$root" && find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$')
}
tests=$(count tests)
code=$(count src lib camsim tools)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "test lines %d, code lines %d, ratio %.3f (at most 0.400)\n", t, c, t / c }'
exit 0
