#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
bash "$top/tools/setup.sh"
cmake -S "$top" -B "$build" -G Ninja
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$build"
ctest --output-on-failure -j4
