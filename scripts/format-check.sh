#!/bin/sh
# Checks that every C++ source of the tree is formatted as .clang-format says; names each file and
# line that is not. The files of a git checkout are those it tracks or would (build trees are ignored).
set -eu
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h'
else
    find . -name '.?*' -prune -o -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print
fi | while read -r file; do
    [ -f "$file" ] && printf '%s\n' "$file"
done | xargs clang-format --dry-run --Werror
echo "format-check: every file is formatted"
