#!/usr/bin/env bash
# Installs what is missing, builds Marvane and runs every test: the normal build (warnings as
# errors) with the unit, GUI, integration and end-to-end tests; its Debian package, checked with
# lintian, installed with apt and run; the unit and GUI tests again
# under AddressSanitizer + UBSan; the engine tests under ThreadSanitizer; the format check.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)

echo "== format check"
./scripts/check-format.sh

echo "== build and test: default"
cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

echo "== Debian package: built from the default build, lintian, installed and run"
./scripts/package.sh
./scripts/check-package.sh build/marvane_*_amd64.deb

echo "== build and test: AddressSanitizer + UBSan"
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/support/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j "$jobs"

echo "== build and test: ThreadSanitizer (engine)"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --preset tsan -j "$jobs"
