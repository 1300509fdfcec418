#!/bin/sh
# Checks formatting (clang-format) and runs clang-tidy over the project's own C++ sources.
# Needs a configured build (compile_commands.json), by default build/default.
set -e
cd "$(dirname "$0")/.."
build=${1:-build/default}
files=$(git ls-files '*.cpp' '*.h' | grep -v -E '^(driver/src|tests/foundation/consumer)/' || true)
clang-format --dry-run -Werror $files
tidy_files=$(echo "$files" | grep -E '\.cpp$' | grep -v -E '^(tests|bench)/')
clang-tidy -p "$build" --quiet --warnings-as-errors='*' $tidy_files
