#!/usr/bin/env bash
# Planted-fault runs: for each plant of scripts/plants.txt, breaks one line of the code, builds the
# tests that should catch it, runs them and puts the line back. A plant that no test catches is a
# hole in the suite.
#
#   scripts/plants.sh [-b builddir] [ID...]       default builddir: build-test; default: every plant
#
# plants.txt: one plant a line, "ID | file | text | replacement | tests" (fields separated by " | "), where text must occur
# exactly once in file and tests are CTest names. Prints "ID caught-by..." or "ID NOT CAUGHT".
# Works on the checkout it lives in: run it on a copy when you keep editing meanwhile.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-test
check=0
if [[ ${1:-} == -b ]]; then
    build=$(cd "$2" && pwd)
    shift 2
fi
if [[ ${1:-} == --check ]]; then # only whether each plant applies
    check=1
    shift
fi
export VANTREL_LOOPBACK_ONLY=1 VANTREL_BROADCAST=127.255.255.255
backup=$build/plant-backup
current=""
restore() {
    [[ -n "$current" ]] || return 0
    cat "$backup" >"$root/$current" # a new time stamp, so the build takes the restored file again
    current=""
}
trap restore EXIT

trim() { sed -e 's/^ *//' -e 's/ *$//' <<<"$1"; }

status=0
while IFS= read -r line; do
    [[ -z "$line" || "$line" == \#* ]] && continue
    # Fields are separated by " | " (a code's "||" never matches it).
    IFS=$'\x1f' read -r id file text replacement tests <<<"${line// | /$'\x1f'}"
    id=$(trim "$id")
    if [[ $# -gt 0 && " $* " != *" $id "* ]]; then
        continue
    fi
    file=$(trim "$file")
    tests=$(trim "$tests")
    cp "$root/$file" "$backup"
    current=$file
    # "\n" in a text stands for a line break and the indentation after it.
    if ! OLD=$(trim "$text") NEW=$(trim "$replacement") perl -0pi -e '
        BEGIN { ($o = quotemeta $ENV{OLD}) =~ s/\\\\n/\\s*/g; ($r = $ENV{NEW}) =~ s/\\n/\n/g }
        $n = () = /$o/g; die "found $n times\n" if $n != 1; s/$o/$r/' "$root/$file"; then
        echo "$id PLANT DOES NOT APPLY ($file)"
        status=1
        restore
        continue
    fi
    if [[ $check == 1 ]]; then
        echo "$id applies"
        restore
        continue
    fi
    # shellcheck disable=SC2086
    if ! cmake --build "$build" -j2 --target $tests >"$build/plant-build.log" 2>&1; then
        echo "$id BUILD FAILED (see $build/plant-build.log)"
        status=1
        restore
        continue
    fi
    caught=()
    for t in $tests; do
        if ! ctest --test-dir "$build" -N -R "^$t\$" | grep -q "Total Tests: 1"; then
            echo "$id names no test $t"
            status=1
        elif ! ctest --test-dir "$build" -R "^$t\$" --timeout 180 >/dev/null 2>&1; then
            caught+=("$t")
        fi
    done
    if [[ ${#caught[@]} -gt 0 ]]; then
        echo "$id caught by ${caught[*]}"
    else
        echo "$id NOT CAUGHT (ran $tests)"
        status=1
    fi
    restore
done <"$root/scripts/plants.txt"
[[ $check == 1 ]] || cmake --build "$build" -j2 >/dev/null 2>&1 # nothing of a plant stays in the build
exit $status
