#!/bin/sh
# Checks formatting (clang-format) and runs clang-tidy over the project's own C++ sources.
# Needs a configured build (compile_commands.json), by default build/default.
set -e
cd "$(dirname "$0")/.."
build=${1:-build/default}
files=$(git ls-files '*.cpp' '*.h' | grep -v -E '^(driver/src|tests/foundation/consumer)/' || true)
clang-format --dry-run -Werror $files
# The Windows sources build only against the Windows headers, which the Linux compile database has not.
tidy_files=$(echo "$files" | grep -E '\.cpp$' | grep -v -E '^(tests|bench)/' | grep -v -E '_win32\.cpp$')
clang-tidy -p "$build" --quiet --warnings-as-errors='*' $tidy_files
