#!/usr/bin/env bash
# Checks that the C++ sources are laid out as .clang-format says; prints the files that are not and
# exits non-zero when there are any. Hand-aligned tables are fenced with "// clang-format off/on".
#
#   scripts/format-check.sh            every tracked .cpp and .h
#   scripts/format-check.sh BASE       only those changed since the commit BASE (e.g. main)
#   scripts/format-check.sh --fix ...  rewrites the files instead of checking them
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
fix=0
if [[ "${1:-}" == "--fix" ]]; then
    fix=1
    shift
fi
formatter=${CLANG_FORMAT:-clang-format}
if ! command -v "$formatter" >/dev/null; then
    echo "format-check: $formatter not found" >&2
    exit 1
fi

if [[ $# -gt 0 ]]; then
    mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi

bad=()
for f in "${files[@]}"; do
    [[ -f "$f" ]] || continue
    if [[ $fix -eq 1 ]]; then
        "$formatter" -i "$f"
    elif ! "$formatter" --dry-run --Werror "$f" >/dev/null 2>&1; then
        bad+=("$f")
    fi
done
if [[ ${#bad[@]} -gt 0 ]]; then
    printf 'format-check: not formatted (scripts/format-check.sh --fix, or fence a hand-aligned table):\n'
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "format-check: ${#files[@]} files checked"
