#!/usr/bin/env bash
# Formats every tracked .cpp and .h file with clang-format 14 and the
# project's .clang-format. With --check, changes nothing: lists the files
# that are not formatted and fails if there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=${CLANG_FORMAT:-clang-format-14}
if ! command -v "$clang_format" >/dev/null; then
  echo "$clang_format is missing (Debian package clang-format-14)." >&2
  exit 1
fi
mode=${1:-}
case "$mode" in
  "") git ls-files -z '*.cpp' '*.h' | xargs -0 -r "$clang_format" -i --style=file ;;
  --check)
    unformatted=0
    while IFS= read -r -d '' file; do
      if ! "$clang_format" --style=file "$file" | cmp -s - "$file"; then
        echo "not formatted: $file"
        unformatted=1
      fi
    done < <(git ls-files -z '*.cpp' '*.h')
    exit "$unformatted" ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
