#!/bin/sh
# Builds and runs the whole test suite twice: optimised, then under AddressSanitizer and UBSan.
set -e
cd "$(dirname "$0")/.."
for preset in default asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" --output-on-failure
done
