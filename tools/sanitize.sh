#!/usr/bin/env bash
# The hostile-input stage: the whole tree built by clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, every test run on that build, then each fuzz target for a bounded
# time (FUZZ_SECONDS, 30 by default) on its seed corpus. Any sanitizer report, crash or broken
# invariant fails it. Needs what tools/setup.sh installs; extra arguments go to cmake.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${SANITIZE_BUILD_DIR:-$top/build-sanitize}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DQUORVEL_FUZZ=ON "${launcher[@]}" "$@"
cmake --build "$build" -j"$(nproc)"

# QtWebEngine's own allocations trip the new/delete type check; leaks are not this stage's concern.
export ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0
export UBSAN_OPTIONS=print_stacktrace=1
export QT_QPA_PLATFORM=offscreen
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
(cd "$build" && ctest --output-on-failure -j4)
bash "$top/tools/fuzz.sh" "$build" "${FUZZ_SECONDS:-30}"
