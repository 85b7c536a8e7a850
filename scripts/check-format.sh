#!/usr/bin/env bash
# Fails when a C++ file of Source/, tests/ or bench/ is not formatted as the
# repository's .clang-format says (clang-format --dry-run --Werror), naming
# the file and the lines. CI's clang-format is Debian 12's (version 14); other
# versions may lay a few constructs out differently.
#
# To format a file: clang-format -i FILE
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if ! command -v clang-format >/dev/null; then
    echo "check-format: clang-format is missing (Debian package clang-format)" >&2
    exit 1
fi
mapfile -t files < <(find Source tests bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
clang-format --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files formatted as .clang-format says"
