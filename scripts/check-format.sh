#!/usr/bin/env bash
# Fails when a tracked or new C++ file is not formatted by the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' 2>/dev/null || true)
[ -n "$files" ] || exit 0
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
