#!/usr/bin/env bash
# Checks that the C++ sources of src/, apps/, tools/ and tests/ are formatted as .clang-format
# says, with clang-format 14. Lists each file that is not and exits 1; changes nothing.
#   tools/check-format.sh            every tracked source file
#   tools/check-format.sh FILE...    only these
# To format a file in place: clang-format-14 -i FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
    echo "check-format: clang-format 14 is not installed (apt-get install clang-format-14)" >&2
    exit 2
fi
version=$("$format" --version | sed -n 's/.*version \([0-9]*\).*/\1/p')
if [ "$version" != 14 ]; then
    echo "check-format: $format is version $version; the style is checked with version 14" >&2
    exit 2
fi

if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files -- src apps tools tests | grep -E '\.(cpp|h|inc)$')
fi
bad=0
for f in "${files[@]}"; do
    if ! "$format" --style=file --dry-run -Werror "$f" 2>/dev/null; then
        echo "check-format: $f is not formatted (clang-format-14 -i $f)"
        bad=$((bad + 1))
    fi
done
if [ "$bad" -gt 0 ]; then
    echo "check-format: $bad of ${#files[@]} files not formatted" >&2
    exit 1
fi
echo "check-format: all ${#files[@]} files formatted"
