#!/usr/bin/env bash
# Builds everything and runs every test: a normal build with warnings as errors, the Debian
# packages made from it and checked, the same tests built with clang under AddressSanitizer +
# UndefinedBehaviorSanitizer, and a short libFuzzer run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== build (warnings as errors)"
# The same configuration as scripts/demo.sh, so a demo run before costs no rebuild.
bash scripts/configure-release.sh build/release
cmake --build build/release -j "$jobs"
echo "== format check"
bash scripts/check-format.sh
echo "== tests"
ctest --test-dir build/release --output-on-failure -j "$jobs"
echo "== packages (cpack, lintian, systemd-analyze, the server started from the unpacked files)"
bash scripts/check-packages.sh build/release

echo "== build (ASan + UBSan, clang)"
# clang: a second compiler's warnings, and it builds this tree in three quarters of GCC's time;
# a unity build (several sources a compile) saves a fifth more. The release build above stays
# one source a compile, so every file still has to include what it uses.
CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DLORVEX_WERROR=ON -DLORVEX_SANITIZE=ON -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build build/asan -j "$jobs"
echo "== tests (ASan + UBSan)"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== fuzz"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DLORVEX_FUZZ=ON -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_all
bash scripts/run-fuzz.sh build/fuzz 60
