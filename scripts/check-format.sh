#!/usr/bin/env bash
# Fails, naming them, when C++ sources are not laid out as .clang-format says. Run from anywhere;
# checks the files git tracks (every .cpp and .h of the tree when it is not a git checkout).
# Usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."

command -v clang-format >/dev/null || { echo "clang-format is missing: scripts/install-deps.sh" >&2; exit 2; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o -path ./build-asan -prune -o \
        \( -name '*.cpp' -o -name '*.h' \) -print)
fi

if [[ "${1:-}" == "--fix" ]]; then
    clang-format -i "${files[@]}"
    exit 0
fi

# One run over every file; each misplaced spot is reported as "FILE:LINE:COLUMN: error: ...".
mapfile -t bad < <(clang-format --dry-run -Werror "${files[@]}" 2>&1 \
    | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if ((${#bad[@]} > 0)); then
    echo "Not formatted as .clang-format says (scripts/check-format.sh --fix lays them out):"
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "All ${#files[@]} C++ files are formatted."
