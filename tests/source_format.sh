#!/usr/bin/env bash
# Checks that every C++ source of the tree is laid out as .clang-format
# says: `./vyr.sh format` rewrites them so. Exits 77 (skipped) without
# Debian 12's clang-format 14, as other versions lay out some lines
# differently.
#
#   source_format.sh SOURCE_DIR
set -euo pipefail
cd "$1"
tool=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$tool" ]; then
  echo "clang-format not found (apt-get install clang-format): layout not checked"
  exit 77
fi
version=$("$tool" --version | sed -n 's/.*version \([0-9]*\).*/\1/p')
if [ "$version" != 14 ]; then
  echo "$tool is version $version; the layout is checked with version 14 only"
  exit 77
fi
mapfile -t files < <(find framework particles plugins frei0r tests bench tools \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -type f | sort)
if ! "$tool" --dry-run --Werror "${files[@]}"; then
  echo "sources above are not laid out as .clang-format says: run ./vyr.sh format"
  exit 1
fi
echo "${#files[@]} sources laid out as .clang-format says"
