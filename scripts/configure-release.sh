#!/usr/bin/env bash
# Configures the release build tree (default build/release) the one way the demo, the tests,
# the packages and the README use it, so that running one of them never makes another rebuild
# the tree for a different flag. Further -D options (-DLORVEX_BENCH=ON) are passed on.
#
#   bash scripts/configure-release.sh [BUILD_DIR [-DOPTION=VALUE ...]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
shift $(($# > 0 ? 1 : 0))
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLORVEX_WERROR=ON "$@" >/dev/null
