#!/bin/sh
# Formats C and C++ files with the repository's .clang-format: the files
# given, or else those changed against main. Resource scripts (.rc, .rc.in)
# and anything else that is not C or C++ are left alone: clang-format takes
# them for C++ and breaks their statements across lines.
set -eu
cd "$(dirname "$0")/.."
if [ "$#" -eq 0 ]; then
    set -- $(git diff --name-only --diff-filter=d main -- '*.c' '*.cpp' '*.h')
fi
for file in "$@"; do
    case "$file" in
        *.c | *.cpp | *.h) clang-format -i "$file" ;;
        *) echo "format.sh: left alone (not C or C++): $file" >&2 ;;
    esac
done
